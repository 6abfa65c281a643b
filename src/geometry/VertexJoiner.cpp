#include "geometry/VertexJoiner.h"

#include <cstring>

namespace {

constexpr uint32_t none = ~0u;

// Positions equal as numbers hash equal: -0 is taken as 0.
size_t positionHash(const MeshVertex &v)
{
    const float p[3] = {v.x == 0 ? 0.0f : v.x, v.y == 0 ? 0.0f : v.y, v.z == 0 ? 0.0f : v.z};
    uint32_t bits[3];
    std::memcpy(bits, p, sizeof bits);
    // Three independent products rather than a chain of them: the join
    // hashes every corner twice.
    const uint64_t h =
        bits[0] * 0x9e3779b97f4a7c15ull ^ bits[1] * 0xc2b2ae3d27d4eb4full ^ bits[2] * 0x165667b19e3779f9ull;
    return size_t(h ^ (h >> 32));
}

bool samePosition(const MeshVertex &a, const MeshVertex &b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

bool closeNormal(const MeshVertex &a, const MeshVertex &b)
{
    const float dx = a.nx - b.nx, dy = a.ny - b.ny, dz = a.nz - b.nz;
    return dx * dx + dy * dy + dz * dz <= 1e-5f * 1e-5f;
}

} // namespace

VertexJoiner::VertexJoiner(std::vector<MeshVertex> &vertices, size_t expected)
    : m_vertices(vertices)
    , m_first(vertices.size())
{
    // A closed mesh has a few vertices at each position; a small table stays
    // in the cache, and grows when the guess was short.
    size_t size = 16;
    while (size < expected / 2)
        size *= 2;
    m_slots.assign(size, none);
    m_samePosition.reserve(expected);
}

uint32_t VertexJoiner::add(const MeshVertex &v)
{
    if (m_positions * 2 >= m_slots.size())
        grow();
    const size_t mask = m_slots.size() - 1;
    size_t slot = positionHash(v) & mask;
    for (; m_slots[slot] != none; slot = (slot + 1) & mask) {
        uint32_t kept = m_slots[slot];
        if (!samePosition(m_vertices[kept], v))
            continue;
        for (;;) {
            if (closeNormal(m_vertices[kept], v))
                return kept;
            const uint32_t next = m_samePosition[kept - m_first];
            if (next == none)
                break;
            kept = next;
        }
        // A new normal at a known position joins the end of its chain.
        m_samePosition[kept - m_first] = append(v);
        return uint32_t(m_vertices.size() - 1);
    }
    m_slots[slot] = append(v);
    ++m_positions;
    return m_slots[slot];
}

void VertexJoiner::add(const MeshVertex *first, size_t count, uint32_t *out)
{
    // The table is far larger than the caches, so nearly every lookup waits
    // for memory: first for the slot, then for the vertex it names. Both
    // are asked for a few vertices ahead, the slot twice as far as the
    // vertex, whose index is in the slot by then.
    constexpr size_t ahead = 16;
    for (size_t i = 0; i < count; ++i) {
        const size_t mask = m_slots.size() - 1;
        if (i + ahead < count)
            __builtin_prefetch(&m_slots[positionHash(first[i + ahead]) & mask]);
        if (i + ahead / 2 < count) {
            const uint32_t kept = m_slots[positionHash(first[i + ahead / 2]) & mask];
            if (kept != none)
                __builtin_prefetch(&m_vertices[kept]);
        }
        out[i] = add(first[i]);
    }
}

uint32_t VertexJoiner::append(const MeshVertex &v)
{
    m_vertices.push_back(v);
    m_samePosition.push_back(none);
    return uint32_t(m_vertices.size() - 1);
}

void VertexJoiner::grow()
{
    std::vector<uint32_t> old(m_slots.size() * 2, none);
    old.swap(m_slots);
    const size_t mask = m_slots.size() - 1;
    for (uint32_t kept : old) {
        if (kept == none)
            continue;
        size_t slot = positionHash(m_vertices[kept]) & mask;
        while (m_slots[slot] != none)
            slot = (slot + 1) & mask;
        m_slots[slot] = kept;
    }
}

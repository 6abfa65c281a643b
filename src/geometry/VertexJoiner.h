#pragma once

#include "geometry/MeshData.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Gathers vertices into an array in which no two share both position and
// normal: a vertex whose position equals that of one already kept and whose
// normal lies within 1e-5 of its normal is replaced by it, as assimp's
// join of identical vertices does for positions that match exactly. The
// kept vertices stay in the order they first came.
class VertexJoiner
{
public:
    // vertices: the array to append to; expected: how many vertices will be
    // offered (a hint for sizing the lookup table).
    VertexJoiner(std::vector<MeshVertex> &vertices, size_t expected);

    // The index in the array of v, appended unless an equal vertex is there.
    uint32_t add(const MeshVertex &v);
    // add for each of the count vertices at first, in order, writing the
    // indices to out: the same result, faster for long runs, since the
    // lookups of the vertices coming next are fetched from memory ahead.
    void add(const MeshVertex *first, size_t count, uint32_t *out);

private:
    uint32_t append(const MeshVertex &v);
    void grow();

    std::vector<MeshVertex> &m_vertices;
    size_t m_first; // vertices before the first offered one are left alone
    // Open addressing over the positions kept, each slot holding the first
    // vertex kept at its position; ~0u is an empty slot.
    std::vector<uint32_t> m_slots;
    size_t m_positions = 0;
    // For each vertex kept, the next one kept at the same position, or ~0u.
    std::vector<uint32_t> m_samePosition;
};

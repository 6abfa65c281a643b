#include "slicing/IsoSurface.h"

#include <QVector3D>

#include <limits>

namespace CWS {

namespace {

constexpr uint32_t kNoVertex = std::numeric_limits<uint32_t>::max();

} // namespace

IsoSurface::IsoSurface(const GridAxis &xs, const GridAxis &ys, const GridAxis &zs)
    : m_xs(xs)
    , m_ys(ys)
    , m_zs(zs)
{
}

void IsoSurface::addLayer(const std::vector<float> &values)
{
    std::swap(m_lower, m_upper);
    m_upper = values;
    if (++m_layers < 2)
        return;
    const int nx = m_xs.count, ny = m_ys.count;
    const auto at = [nx](int i, int j) { return size_t(j) * size_t(nx) + size_t(i); };
    const auto cube = [nx](int i, int j) { return size_t(j) * size_t(nx - 1) + size_t(i); };
    std::swap(m_cubesBelow, m_cubes);
    m_cubes.resize(size_t(nx - 1) * size_t(ny - 1));
    for (int j = 0; j + 1 < ny; ++j) {
        for (int i = 0; i + 1 < nx; ++i)
            m_cubes[cube(i, j)] = cubeVertex(i, j);
    }
    // The grid's outer faces lie outside: every edge the surface crosses
    // has its four cubes.
    for (int j = 1; j + 1 < ny; ++j) {
        for (int i = 1; i + 1 < nx; ++i) {
            // Up from the lower layer: the four cubes of this slab.
            const bool low = m_lower[at(i, j)] > 0, high = m_upper[at(i, j)] > 0;
            if (low != high)
                addQuad(m_cubes[cube(i - 1, j - 1)], m_cubes[cube(i, j - 1)], m_cubes[cube(i, j)],
                        m_cubes[cube(i - 1, j)], low);
        }
    }
    // Along x and y in the lower layer: two cubes of the slab below, two
    // of this one.
    if (m_layers < 3)
        return;
    for (int j = 0; j + 1 < ny; ++j) {
        for (int i = 0; i + 1 < nx; ++i) {
            const bool here = m_lower[at(i, j)] > 0;
            if (j > 0 && here != (m_lower[at(i + 1, j)] > 0))
                addQuad(m_cubesBelow[cube(i, j - 1)], m_cubesBelow[cube(i, j)], m_cubes[cube(i, j)],
                        m_cubes[cube(i, j - 1)], here);
            if (i > 0 && here != (m_lower[at(i, j + 1)] > 0))
                addQuad(m_cubesBelow[cube(i - 1, j)], m_cubes[cube(i - 1, j)], m_cubes[cube(i, j)],
                        m_cubesBelow[cube(i, j)], here);
        }
    }
}

MeshPrimitiveData IsoSurface::finish()
{
    for (MeshVertex &vertex : m_mesh.vertices) {
        const QVector3D n = QVector3D(vertex.nx, vertex.ny, vertex.nz).normalized();
        vertex.nx = n.x();
        vertex.ny = n.y();
        vertex.nz = n.z();
    }
    return std::move(m_mesh);
}

uint32_t IsoSurface::cubeVertex(int i, int j)
{
    // Corner c: bit 0 steps x, bit 1 y, bit 2 up to the upper layer.
    float value[8];
    QVector3D position[8];
    int inside = 0;
    for (int c = 0; c < 8; ++c) {
        const int x = i + (c & 1), y = j + ((c >> 1) & 1);
        value[c] = (c & 4 ? m_upper : m_lower)[size_t(y) * size_t(m_xs.count) + size_t(x)];
        position[c] = QVector3D(float(m_xs.at(x)), float(m_ys.at(y)), float(m_zs.at(m_layers - 2 + (c >> 2))));
        inside += value[c] > 0;
    }
    if (inside == 0 || inside == 8)
        return kNoVertex;
    QVector3D sum;
    int crossings = 0;
    for (int a = 0; a < 8; ++a) {
        for (int step : {1, 2, 4}) {
            const int b = a | step;
            if (b == a || (value[a] > 0) == (value[b] > 0))
                continue;
            sum += position[a] + (position[b] - position[a]) * (value[a] / (value[a] - value[b]));
            ++crossings;
        }
    }
    const QVector3D p = sum / float(crossings);
    m_mesh.vertices.push_back({p.x(), p.y(), p.z(), 0, 0, 0});
    return uint32_t(m_mesh.vertices.size() - 1);
}

void IsoSurface::addQuad(uint32_t a, uint32_t b, uint32_t c, uint32_t d, bool flip)
{
    if (flip)
        std::swap(b, d);
    addTriangle(a, b, c);
    addTriangle(a, c, d);
}

void IsoSurface::addTriangle(uint32_t a, uint32_t b, uint32_t c)
{
    m_mesh.indices.insert(m_mesh.indices.end(), {a, b, c});
    const auto at = [this](uint32_t k) {
        const MeshVertex &v = m_mesh.vertices[k];
        return QVector3D(v.x, v.y, v.z);
    };
    const QVector3D normal = QVector3D::crossProduct(at(b) - at(a), at(c) - at(a));
    for (uint32_t k : {a, b, c}) {
        MeshVertex &v = m_mesh.vertices[k];
        v.nx += normal.x();
        v.ny += normal.y();
        v.nz += normal.z();
    }
}

} // namespace CWS

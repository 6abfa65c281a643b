#include "slicing/IsoSurface.h"

#include <limits>

namespace CWS {

namespace {

constexpr uint32_t kNoVertex = std::numeric_limits<uint32_t>::max();

} // namespace

IsoSurface::IsoSurface(const GridAxis &xs, const GridAxis &ys, const GridAxis &zs)
    : m_xs(xs)
    , m_ys(ys)
    , m_zs(zs)
    , m_points(size_t(xs.count) * size_t(ys.count))
    , m_lowerEdges(3 * m_points, kNoVertex)
    , m_upperEdges(3 * m_points, kNoVertex)
    , m_crossEdges(4 * m_points, kNoVertex)
{
}

void IsoSurface::addLayer(const std::vector<float> &values)
{
    std::swap(m_lower, m_upper);
    std::swap(m_lowerEdges, m_upperEdges);
    m_upper = values;
    if (++m_layers < 2)
        return;
    std::fill(m_upperEdges.begin(), m_upperEdges.end(), kNoVertex);
    std::fill(m_crossEdges.begin(), m_crossEdges.end(), kNoVertex);
    for (int j = 0; j + 1 < m_ys.count; ++j) {
        for (int i = 0; i + 1 < m_xs.count; ++i)
            marchCube(i, j);
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

QVector3D IsoSurface::positionOf(int i, int j, int corner) const
{
    return QVector3D(float(m_xs.at(i + (corner & 1))), float(m_ys.at(j + ((corner >> 1) & 1))),
                     float(m_zs.at(m_layers - 2 + ((corner >> 2) & 1))));
}

void IsoSurface::marchCube(int i, int j)
{
    float value[8];
    int inside = 0;
    for (int corner = 0; corner < 8; ++corner) {
        value[corner] = valueAt(i, j, corner);
        inside += value[corner] > 0;
    }
    if (inside == 0 || inside == 8)
        return;
    // Every tetrahedron runs from corner 0 to corner 7 through a chain of
    // corners each holding the bits of the one before, so that an edge
    // always runs from a corner to one with more bits.
    static const int steps[6][2] = {{1, 2}, {1, 4}, {2, 1}, {2, 4}, {4, 1}, {4, 2}};
    for (const auto &step : steps) {
        const int tetrahedron[4] = {0, step[0], step[0] | step[1], 7};
        int in[4], out[4], ins = 0, outs = 0;
        for (int corner : tetrahedron)
            (value[corner] > 0 ? in[ins++] : out[outs++]) = corner;
        if (ins == 0 || outs == 0)
            continue;
        // From the corners at or below zero to those above.
        QVector3D towards;
        for (int k = 0; k < ins; ++k)
            towards += offsetOf(in[k]) / float(ins);
        for (int k = 0; k < outs; ++k)
            towards -= offsetOf(out[k]) / float(outs);
        if (ins == 1 || outs == 1) {
            const int lone = ins == 1 ? in[0] : out[0];
            const int *others = ins == 1 ? out : in;
            addTriangle(i, j, {{{lone, others[0]}, {lone, others[1]}, {lone, others[2]}}}, towards);
        } else {
            addTriangle(i, j, {{{in[0], out[0]}, {in[0], out[1]}, {in[1], out[1]}}}, towards);
            addTriangle(i, j, {{{in[0], out[0]}, {in[1], out[1]}, {in[1], out[0]}}}, towards);
        }
    }
}

uint32_t IsoSurface::vertexOn(int i, int j, int a, int b)
{
    if (a > b)
        std::swap(a, b);
    const int step = b & ~a;
    const size_t point = pointOf(i, j, a);
    uint32_t &index = step & 4 ? m_crossEdges[size_t((step & 3)) * m_points + point]
                               : (a & 4 ? m_upperEdges : m_lowerEdges)[size_t(step - 1) * m_points + point];
    if (index != kNoVertex)
        return index;
    const float va = valueAt(i, j, a), vb = valueAt(i, j, b);
    const QVector3D p = positionOf(i, j, a) + (positionOf(i, j, b) - positionOf(i, j, a)) * (va / (va - vb));
    index = uint32_t(m_mesh.vertices.size());
    m_mesh.vertices.push_back({p.x(), p.y(), p.z(), 0, 0, 0});
    return index;
}

void IsoSurface::addTriangle(int i, int j, const std::array<std::pair<int, int>, 3> &edges, const QVector3D &towards)
{
    // Which way the triangle faces is found from the edges' middles, not
    // from where its corners lie: those coincide where the surface runs
    // through a grid point, and it must still face the way of its
    // neighbours.
    QVector3D middle[3];
    uint32_t corner[3];
    for (int k = 0; k < 3; ++k) {
        middle[k] = (offsetOf(edges[size_t(k)].first) + offsetOf(edges[size_t(k)].second)) / 2;
        corner[k] = vertexOn(i, j, edges[size_t(k)].first, edges[size_t(k)].second);
    }
    if (QVector3D::dotProduct(QVector3D::crossProduct(middle[1] - middle[0], middle[2] - middle[0]), towards) < 0)
        std::swap(corner[1], corner[2]);
    m_mesh.indices.insert(m_mesh.indices.end(), corner, corner + 3);
    const auto at = [this](uint32_t k) {
        const MeshVertex &v = m_mesh.vertices[k];
        return QVector3D(v.x, v.y, v.z);
    };
    const QVector3D normal = QVector3D::crossProduct(at(corner[1]) - at(corner[0]), at(corner[2]) - at(corner[0]));
    for (uint32_t k : corner) {
        MeshVertex &v = m_mesh.vertices[k];
        v.nx += normal.x();
        v.ny += normal.y();
        v.nz += normal.z();
    }
}

} // namespace CWS

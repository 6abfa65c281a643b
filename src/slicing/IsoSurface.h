#pragma once

#include "geometry/MeshData.h"

#include <QVector3D>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace CWS {

// Samples at origin + i x step (mm), i from 0 to count - 1.
struct GridAxis
{
    double origin = 0;
    double step = 1;
    int count = 0;

    double at(int i) const { return origin + i * step; }
    // The first sample at or above value, count when there is none.
    int firstFrom(double value) const { return std::clamp(int(std::ceil((value - origin) / step)), 0, count); }
    // The last sample at or below value, -1 when there is none.
    int lastUpTo(double value) const { return std::clamp(int(std::floor((value - origin) / step)), -1, count - 1); }
};

// The surface where a field sampled on a grid crosses zero, built from the
// grid's layers given one after the other from the lowest up: marching
// tetrahedra over each pair of neighbouring layers, six to a grid cube
// around its diagonal, so that neighbours share their faces' cuts. Each
// edge of the grid the surface crosses holds one vertex, shared by the
// triangles around it, at the zero of the values linearly interpolated.
// Triangles face the side where the field is above zero (counter-clockwise
// seen from there); vertex normals are the normalised sum of their
// triangles' area-weighted normals. Where the field is zero or below on
// the grid's outer faces, the surface is closed and every edge of it runs
// once each way.
class IsoSurface
{
public:
    // The grid: xs.count x ys.count points a layer, zs.count layers.
    IsoSurface(const GridAxis &xs, const GridAxis &ys, const GridAxis &zs);

    // The next layer's values, row by row in y.
    void addLayer(const std::vector<float> &values);
    // The surface of the layers added, in grid coordinates (mm); the
    // builder is spent.
    MeshPrimitiveData finish();

private:
    // Corner c of cube (i, j) in the slab: bit 0 steps x, bit 1 y, bit 2 z.
    size_t pointOf(int i, int j, int corner) const
    {
        return size_t(j + ((corner >> 1) & 1)) * size_t(m_xs.count) + size_t(i + (corner & 1));
    }
    float valueAt(int i, int j, int corner) const { return (corner & 4 ? m_upper : m_lower)[pointOf(i, j, corner)]; }
    QVector3D positionOf(int i, int j, int corner) const;
    static QVector3D offsetOf(int corner) { return QVector3D(corner & 1, (corner >> 1) & 1, (corner >> 2) & 1); }

    void marchCube(int i, int j);
    // The vertex where the surface cuts the edge between corners a and b of
    // cube (i, j), made when first asked for.
    uint32_t vertexOn(int i, int j, int a, int b);
    // Adds the triangle of cube (i, j) whose corners lie on the given edges
    // (pairs of cube corners), facing towards, and its normal to its
    // corners'.
    void addTriangle(int i, int j, const std::array<std::pair<int, int>, 3> &edges, const QVector3D &towards);

    GridAxis m_xs, m_ys, m_zs;
    size_t m_points;
    int m_layers = 0; // added so far
    // The slab's lower and upper layer.
    std::vector<float> m_lower, m_upper;
    // Vertices on the edges from each point of the lower and upper layer to
    // its neighbour in x, y and x + y, and from the lower layer up, up and
    // x, up and y, up and x + y; type by type.
    std::vector<uint32_t> m_lowerEdges, m_upperEdges, m_crossEdges;
    MeshPrimitiveData m_mesh;
};

} // namespace CWS

#pragma once

#include "geometry/MeshData.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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
// grid's layers given one after the other from the lowest up (surface
// nets): one vertex in every grid cube the surface passes through, at the
// mean of the points where it crosses the cube's edges (each the zero of
// the values linearly interpolated), and for every grid edge it crosses a
// quadrilateral, as two triangles, joining the vertices of the four cubes
// around that edge. Flat parts of the surface come out flat; sharp edges
// are rounded off within a cube. Triangles face the side where the field
// is above zero (counter-clockwise seen from there); vertex normals are the
// normalised sum of their triangles' area-weighted normals. Where the field
// is zero or below on the grid's outer faces the surface is closed: every
// edge of it runs as often one way as the other (twice each way where two
// sheets of the surface meet in one cube).
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
    // The vertex of cube (i, j) of the slab between the last two layers,
    // or none where the surface does not pass through it.
    uint32_t cubeVertex(int i, int j);
    // Adds the quadrilateral a, b, c, d, counter-clockwise seen from the
    // side it faces unless flipped.
    void addQuad(uint32_t a, uint32_t b, uint32_t c, uint32_t d, bool flip);
    void addTriangle(uint32_t a, uint32_t b, uint32_t c);

    GridAxis m_xs, m_ys, m_zs;
    int m_layers = 0; // added so far
    // The last two layers' values.
    std::vector<float> m_lower, m_upper;
    // The vertices of the cubes of the slab below the lower layer and of
    // the slab between the two, row by row in y.
    std::vector<uint32_t> m_cubesBelow, m_cubes;
    MeshPrimitiveData m_mesh;
};

} // namespace CWS

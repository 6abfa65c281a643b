#pragma once

#include "geometry/MeshData.h"
#include "geometry/SliceSegment.h"

#include <QVector3D>

#include <optional>
#include <vector>

class Model;

// Where a horizontal plane meets a model's mesh: the outline the slicer
// fills, and the part below the plane that the slice preview draws.
namespace PlaneCut {

// Point where the edge from a to b (mm) meets plane z, or none. An edge in
// the plane meets nothing; an end on the plane counts only when the other
// end is above it.
std::optional<QVector3D> intersectEdge(const QVector3D &a, const QVector3D &b, float z);

// Where plane z meets the triangle with the given corners (mm): edge 0
// (corner 0 to 1), then edge 1 (1 to 2), and edge 2 (2 to 0) only when one
// of them met it. edgeHit[e] receives edge e's point or none, hits the
// points found in that order; returns how many (2 for a cut).
int cutTriangle(const QVector3D corner[3], float z, std::optional<QVector3D> edgeHit[3], QVector3D hits[3]);

// Appends to segments where the horizontal plane at height z (mm, platform
// coordinates) cuts model's mesh placed by its model matrix, one segment per
// cut triangle, in triangle order; returns how many it appended. Nothing
// when z lies outside the bounds (brought up to date first). A triangle
// touching the plane from above in one vertex gives a zero-length segment
// there, one with an edge in the plane and its third vertex above gives that
// edge; triangles in the plane or below it give nothing.
// below, when given, receives the part of the mesh strictly below z: whole
// triangles below, and a cut triangle's part below as one or two triangles
// whose new corners lie on the plane, in mesh coordinates, with the normal
// of the cut edge's first corner; its own vertices are numbered after the
// mesh's.
int cut(Model &model, float z, std::vector<SliceSegment> &segments, LayerGeometry *below = nullptr);

} // namespace PlaneCut

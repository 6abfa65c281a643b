#pragma once

#include "geometry/Hollowing.h"
#include "geometry/MeshData.h"

#include <QMatrix4x4>

#include <atomic>
#include <vector>

namespace CWS {

// What hollowing takes out of a model, and where it drains.
class Cavity
{
public:
    // The cavity of mesh placed by matrix (platform coordinates, mm) under a
    // wall of wallMm: every point from which all points within wallMm (in
    // x, y and z) lie inside the mesh. Returned as a closed triangle surface
    // in platform coordinates whose triangles wind the other way round than
    // an outward-facing surface does (normals point into the cavity), so
    // that cut together with the model the non-zero rule leaves the cavity
    // empty. Empty when no point lies that deep (a model thinner than twice
    // the wall everywhere). lattice: upright walls left standing inside the
    // cavity (see Lattice), in lines through the middle of the model's
    // bounds. cancel, when given, is polled; a cancelled build returns an
    // empty mesh.
    //
    // The surface lies within a few hundredths of a millimetre of that
    // definition where the wall is flat or gently curved; the cavity's
    // sharp edges are rounded off within its grid spacing (a fifth of the
    // wall, 0.2 to 1 mm), and two parts of it that come that close may
    // share a vertex or an edge. Closed parts of the cavity under 1 mm3
    // (slivers where the wall's inner surface grazes a fold of the model)
    // are left solid. Parts of the mesh that overlap or touch are
    // hollowed as one; a mesh with holes only where its sections close. It
    // takes about 50 bytes per triangle of mesh and memory for a band of
    // planes as high as twice the wall, none for the model's height,
    // besides the surface returned.
    static MeshPrimitiveData build(const MeshPrimitiveData &mesh, const QMatrix4x4 &matrix, float wallMm,
                                   const Lattice &lattice = {}, const std::atomic_bool *cancel = nullptr);

    // One or two drain holes of diameterMm for every closed part of cavity
    // (as build gives it for the same mesh, matrix and wallMm), in platform
    // coordinates: each opens on the model's outer surface close to the
    // part's lowest point and runs through the wall into the part. A hole
    // takes the shortest way through the wall (its direction, pointing
    // into the model, is the cavity's normal where it arrives, at most
    // wallMm + 0.5 mm from its opening), from a point of the part no higher
    // than its lowest + diameterMm, the most nearly horizontal way there
    // is, centred a radius above the lowest point where it can. A part
    // wider than 30 mm gets a second hole where its wall faces the other
    // way, to let air in. A part no hole reaches out of gets none.
    static std::vector<DrainHole> drainHoles(const MeshPrimitiveData &mesh, const QMatrix4x4 &matrix,
                                             const MeshPrimitiveData &cavity, float wallMm, float diameterMm);
};

} // namespace CWS

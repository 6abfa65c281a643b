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
    // the wall everywhere). cancel, when given, is polled; a cancelled build
    // returns an empty mesh.
    static MeshPrimitiveData build(const MeshPrimitiveData &mesh, const QMatrix4x4 &matrix, float wallMm,
                                   const std::atomic_bool *cancel = nullptr);

    // One or two drain holes of diameterMm for every closed part of cavity
    // (as build gives it for the same mesh, matrix and wallMm), in platform
    // coordinates: each opens on the model's outer surface close to the
    // part's lowest point and runs through the wall into the part.
    static std::vector<DrainHole> drainHoles(const MeshPrimitiveData &mesh, const QMatrix4x4 &matrix,
                                             const MeshPrimitiveData &cavity, float wallMm, float diameterMm);
};

} // namespace CWS

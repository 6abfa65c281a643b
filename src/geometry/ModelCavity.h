#pragma once

#include "geometry/Hollowing.h"
#include "geometry/MeshData.h"

#include <QMatrix4x4>

#include <memory>

// The inside that hollowing takes out of a model, kept in the model's own
// (mesh) coordinates so that moving the model keeps it, together with what
// it was made for: the wall (mm) and the linear part of the model matrix
// (scale and turns). A new wall, a scale or a turn makes it stale.
struct ModelCavity
{
    // platform: the cavity of the model placed by matrix under a wall of
    // wallMm with lattice, in platform coordinates (mm), closed and wound the
    // other way round than an outward-facing surface (as CWS::Cavity::build
    // gives it).
    static ModelCavity fromPlatform(const MeshPrimitiveData &platform, const QMatrix4x4 &matrix, float wallMm,
                                    const Lattice &lattice);

    // Made for a model placed by matrix (any translation) under wallMm with lattice.
    bool fits(const QMatrix4x4 &matrix, float wallMm, const Lattice &lattice) const;
    // The mesh placed by matrix (platform coordinates); empty without one.
    MeshPrimitiveData onPlatform(const QMatrix4x4 &matrix) const;

    // In model coordinates; null while none has been made, empty when the
    // model is too thin to be hollowed. Shared by copies and undo steps.
    std::shared_ptr<const MeshPrimitiveData> mesh;
    float wallMm = 0;
    Lattice lattice;
    QMatrix4x4 linear; // the model matrix it was made for, translation cleared
    float volumeMl = 0; // what it takes out, on the platform
};

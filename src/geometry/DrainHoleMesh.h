#pragma once

#include "geometry/Hollowing.h"
#include "geometry/MeshData.h"

#include <QMatrix4x4>

// The solid that a model's drain holes take out of it.
namespace DrainHoleMesh {

// Every hole of hollowing as a closed cylinder with its own triangles facing
// outwards, in platform coordinates (mm) for a model placed by matrix: of
// the hole's diameter, along its direction (turned as the model's surface
// normals turn), from 0.5 mm outside the surface to wallMm + 1 mm inside,
// so that it opens cleanly through the wall into the cavity. sides: corners
// of the cylinder's section. Empty for a solid model.
MeshPrimitiveData cylinders(const Hollowing &hollowing, const QMatrix4x4 &matrix, int sides = 32);

} // namespace DrainHoleMesh

#include "slicing/Cavity.h"

namespace CWS {

// Placeholder until the distance-field build lands: every model stays solid.
MeshPrimitiveData Cavity::build(const MeshPrimitiveData &, const QMatrix4x4 &, float, const std::atomic_bool *)
{
    return {};
}

std::vector<DrainHole> Cavity::drainHoles(const MeshPrimitiveData &, const QMatrix4x4 &, const MeshPrimitiveData &,
                                          float, float)
{
    return {};
}

} // namespace CWS

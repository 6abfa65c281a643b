#include "slicing/CavitySnapshot.h"

#include "geometry/Model.h"
#include "slicing/Cavity.h"

namespace CWS {

CavitySnapshot::CavitySnapshot(const Model &model)
    : m_matrix(model.modelMatrix())
    , m_wallMm(model.hollowing.isHollow() ? model.hollowing.wallMm : 0)
    , m_lattice(model.hollowing.lattice)
{
    if (model.cavityFits())
        m_cavity = model.cavity;
    else if (hollow())
        m_mesh = model.mesh; // held: a flip detaches from it instead of mirroring it in place
}

ModelCavity CavitySnapshot::take(const std::atomic_bool *cancel)
{
    if (!hollow() || m_cavity.mesh)
        return m_cavity;
    const MeshPrimitiveData built = Cavity::build(*m_mesh, m_matrix, m_wallMm, m_lattice, cancel);
    if (cancel && *cancel)
        return {};
    m_cavity = ModelCavity::fromPlatform(built, m_matrix, m_wallMm, m_lattice);
    return m_cavity;
}

} // namespace CWS

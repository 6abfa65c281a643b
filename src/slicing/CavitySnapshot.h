#pragma once

#include "geometry/ModelCavity.h"

#include <QMatrix4x4>

#include <atomic>
#include <memory>

class Model;

namespace CWS {

// A model's cavity as a run away from the GUI thread needs it: taken with
// the model on the GUI thread (the model's own cavity when it fits, else the
// mesh, placement and wall to make one from), and made, when it must be, on
// the run's thread, where the model itself may already have changed.
class CavitySnapshot
{
public:
    // GUI thread.
    explicit CavitySnapshot(const Model &model);

    // Any one thread: the cavity as the model's would be (Model::cavity), made
    // now with Cavity::build when the model's did not fit, which may take
    // seconds. Null mesh for a solid model, and when cancel is set during
    // the build (a cancelled build is not kept).
    ModelCavity take(const std::atomic_bool *cancel = nullptr);

    bool hollow() const { return m_wallMm > 0; }
    // What it is made from, to tell whether a model is still as it was taken.
    const MeshPrimitiveData *mesh() const { return m_mesh.get(); }

private:
    std::shared_ptr<const MeshPrimitiveData> m_mesh;
    QMatrix4x4 m_matrix;
    float m_wallMm = 0;
    Lattice m_lattice;
    ModelCavity m_cavity;
};

} // namespace CWS

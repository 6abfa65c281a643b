#pragma once

#include "geometry/MeshData.h"
#include "geometry/SliceSegment.h"

#include <QList>
#include <QMatrix4x4>
#include <QVector3D>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class Model;

namespace CWS {

// One model's triangles prepared for a whole slicing run: mapped to platform
// coordinates (mm) by its model matrix, and listed under every block of
// layers whose planes can meet them, so that a layer visits only those. The
// mapped corners are kept for meshes of up to maxKeptTriangles; a larger
// mesh has them mapped anew at each visit, since their copy (36 bytes a
// triangle) would take more memory than the rest of the run. A block spans as many layers as a triangle does on average, so
// that the lists hold at most three entries per triangle however many
// layers the run has, while a layer visits on average at most three times
// the triangles it cuts.
//
// Built on one thread from a model that does not change while it is built;
// afterwards any number of threads may cut it at once. It shares the
// model's mesh, which must not change while it is cut.
class PlacedMesh
{
public:
    // Keeping a mesh's mapped corners saves a few per cent of a run's time.
    static constexpr size_t maxKeptTriangles = 2000000;

    // The planes of a run of layers layers of thickness mm: 0.5 x thickness,
    // then thickness added once per layer in single precision.
    static std::vector<float> layerHeights(int layers, float thickness);
    // How many layers of thickness mm models need: one for every plane
    // (i + 0.5) x thickness at or below the highest top (bounds brought up
    // to date first); none without models, for a scene below the plate or a
    // thickness of 0.
    static int layerCount(const QList<Model *> &models, float thickness);
    // The same for a scene whose highest top is at topMm.
    static int layerCount(float topMm, float thickness);

    // heights: the planes (mm), ascending, as layerHeights gives them;
    // keepUpTo: the largest mesh (triangles) whose mapped corners are kept.
    // A hollow model's drain holes are placed with it (DrainHoleMesh); its
    // cavity only when given (setCavity).
    PlacedMesh(const Model &model, const std::vector<float> &heights, size_t keepUpTo = maxKeptTriangles);
    // Any mesh placed by matrix.
    PlacedMesh(std::shared_ptr<const MeshPrimitiveData> mesh, const QMatrix4x4 &matrix,
               const std::vector<float> &heights, size_t keepUpTo = maxKeptTriangles);

    // Before the first cut: cut from now on cavity (model coordinates,
    // wound inwards, as ModelCavity holds it) together with the mesh,
    // placed by the same matrix, so that the fill leaves it empty.
    void setCavity(std::shared_ptr<const MeshPrimitiveData> cavity);

    // Appends to segments what PlaneCut::cut appends for the plane of
    // layer (heights[layer]): the same segments in the same order, with the
    // same "ERROR: n != 2" for a triangle the plane meets in one or three
    // points, then the cavity's. Returns how many it appended; none for a
    // layer outside heights.
    int cut(int layer, std::vector<SliceSegment> &segments) const;
    // The outlines of the drain holes in the plane of layer, for
    // LayerRaster::clearSegments; returns how many it appended.
    int cutHoles(int layer, std::vector<SliceSegment> &segments) const;
    bool hasHoles() const { return m_holes != nullptr; }

    int layerCount() const { return int(m_heights.size()); }

private:
    // The corners of a triangle on the platform (mm), mapped as
    // Model::sliceAt maps them, so that every cut yields the same bits.
    void corners(size_t triangle, QVector3D corner[3]) const;

    std::vector<float> m_heights;
    std::shared_ptr<const MeshPrimitiveData> m_mesh;
    QMatrix4x4 m_matrix;
    std::vector<QVector3D> m_corners; // three per triangle, mesh order; empty for a large mesh
    size_t m_blockLayers = 1;         // layers per block
    // The triangles block b (layers b x m_blockLayers onwards) can meet are
    // m_triangles[m_firstEntry[b]] up to, not including,
    // m_triangles[m_firstEntry[b + 1]], in mesh order.
    std::vector<size_t> m_firstEntry;
    std::vector<uint32_t> m_triangles;
    std::shared_ptr<const PlacedMesh> m_cavity; // null: solid
    std::shared_ptr<const PlacedMesh> m_holes;  // null: none
};

} // namespace CWS

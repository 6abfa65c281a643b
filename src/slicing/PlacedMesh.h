#pragma once

#include "geometry/SliceSegment.h"

#include <QList>
#include <QVector3D>

#include <cstdint>
#include <utility>
#include <vector>

class Model;

namespace CWS {

// One model's triangles prepared for a whole slicing run: mapped once to
// platform coordinates (mm) by its model matrix, and listed under every
// block of layers whose planes can meet them, so that a layer visits only
// those. A block spans as many layers as a triangle does on average, so
// that the lists hold at most three entries per triangle however many
// layers the run has, while a layer visits on average at most three times
// the triangles it cuts.
//
// Built on one thread from a model that does not change while it is built;
// afterwards it is plain data that any number of threads may cut at once.
class PlacedMesh
{
public:
    // The planes of a run of layers layers of thickness mm: 0.5 x thickness,
    // then thickness added once per layer in single precision.
    static std::vector<float> layerHeights(int layers, float thickness);
    // How many layers of thickness mm models need: one for every plane
    // (i + 0.5) x thickness at or below the highest top (bounds brought up
    // to date first); none without models, for a scene below the plate or a
    // thickness of 0.
    static int layerCount(const QList<Model *> &models, float thickness);

    // heights: the planes (mm), ascending, as layerHeights gives them.
    PlacedMesh(const Model &model, const std::vector<float> &heights);

    // Appends to segments what PlaneCut::cut appends for the plane of
    // layer (heights[layer]): the same segments in the same order, with the
    // same "ERROR: n != 2" for a triangle the plane meets in one or three
    // points. Returns how many it appended; none for a layer outside heights.
    int cut(int layer, std::vector<SliceSegment> &segments) const;

    int layerCount() const { return int(m_heights.size()); }

private:
    // Lowest and highest corner of a triangle (mm).
    std::pair<float, float> zRange(size_t triangle) const;

    std::vector<float> m_heights;
    std::vector<QVector3D> m_corners; // three per triangle, mesh order
    size_t m_blockLayers = 1;         // layers per block
    // The triangles block b (layers b x m_blockLayers onwards) can meet are
    // m_triangles[m_firstEntry[b]] up to, not including,
    // m_triangles[m_firstEntry[b + 1]], in mesh order.
    std::vector<size_t> m_firstEntry;
    std::vector<uint32_t> m_triangles;
};

} // namespace CWS

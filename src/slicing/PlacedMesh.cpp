#include "slicing/PlacedMesh.h"

#include "workspace/Model.h"

#include <QDebug>
#include <QMatrix4x4>

#include <algorithm>
#include <optional>

namespace CWS {

std::vector<float> PlacedMesh::layerHeights(int layers, float thickness)
{
    std::vector<float> heights;
    heights.reserve(size_t(std::max(layers, 0)));
    float z = thickness * 0.5f;
    for (int i = 0; i < layers; ++i) {
        heights.push_back(z);
        z += thickness;
    }
    return heights;
}

PlacedMesh::PlacedMesh(const Model &model, const std::vector<float> &heights)
    : m_heights(heights)
    , m_firstEntry(heights.size() + 1, 0)
{
    // The corners are mapped exactly as Model::sliceAt maps them, so that
    // every cut yields the same bits.
    const QMatrix4x4 matrix = model.modelMatrix();
    const auto &vertices = model.mesh->vertices;
    const auto &indices = model.mesh->indices;
    const size_t triangles = indices.size() / 3;
    m_corners.reserve(triangles * 3);
    for (size_t k = 0; k < triangles * 3; ++k) {
        const MeshVertex &v = vertices[indices[k]];
        m_corners.push_back(matrix.map(QVector3D(v.x, v.y, v.z)));
    }

    // A plane meets a triangle only when it lies within the triangle's
    // heights, ends included (an edge in the plane or a vertex on it count).
    const auto layerSpan = [this](size_t t) {
        const QVector3D *c = &m_corners[t * 3];
        const float low = std::min({c[0].z(), c[1].z(), c[2].z()});
        const float high = std::max({c[0].z(), c[1].z(), c[2].z()});
        const auto first = std::lower_bound(m_heights.begin(), m_heights.end(), low);
        const auto end = std::upper_bound(first, m_heights.end(), high);
        return std::make_pair(size_t(first - m_heights.begin()), size_t(end - m_heights.begin()));
    };
    for (size_t t = 0; t < triangles; ++t) {
        const auto [first, end] = layerSpan(t);
        for (size_t layer = first; layer < end; ++layer)
            ++m_firstEntry[layer + 1];
    }
    for (size_t layer = 0; layer < heights.size(); ++layer)
        m_firstEntry[layer + 1] += m_firstEntry[layer];
    m_triangles.resize(m_firstEntry.back());
    std::vector<uint32_t> next(m_firstEntry.begin(), m_firstEntry.end() - 1);
    for (size_t t = 0; t < triangles; ++t) {
        const auto [first, end] = layerSpan(t);
        for (size_t layer = first; layer < end; ++layer)
            m_triangles[next[layer]++] = uint32_t(t);
    }
}

int PlacedMesh::cut(int layer, std::vector<SliceSegment> &segments) const
{
    if (layer < 0 || layer >= layerCount())
        return 0;
    const float z = m_heights[size_t(layer)];
    const size_t before = segments.size();
    for (uint32_t i = m_firstEntry[size_t(layer)]; i < m_firstEntry[size_t(layer) + 1]; ++i) {
        std::optional<QVector3D> edgeHit[3];
        QVector3D hits[3];
        const int n = Model::cutTriangle(&m_corners[size_t(m_triangles[i]) * 3], z, edgeHit, hits);
        if (n == 2)
            segments.push_back({hits[0], hits[1]});
        else if (n != 0)
            qWarning() << "ERROR: n != 2";
    }
    return int(segments.size() - before);
}

} // namespace CWS

#include "slicing/PlacedMesh.h"

#include "geometry/DrainHoleMesh.h"
#include "geometry/Model.h"
#include "geometry/PlaneCut.h"

#include <QDebug>
#include <QMatrix4x4>

#include <algorithm>
#include <optional>
#include <system_error>
#include <thread>

namespace CWS {

namespace {

// Runs work(begin, end) over parts of [0, count) on all cores at once and
// returns when every part is done; small counts are not worth the threads.
template<typename Work>
void splitAmongCores(size_t count, const Work &work)
{
    const size_t parts = count < 100000 ? 1 : std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 16);
    std::vector<std::thread> helpers;
    for (size_t part = 1; part < parts; ++part) {
        const auto run = [&work, count, part, parts] { work(count * part / parts, count * (part + 1) / parts); };
        // Without a thread to be had, this one does the part.
        try {
            helpers.emplace_back(run);
        } catch (const std::system_error &) {
            run();
        }
    }
    work(0, count / parts);
    for (std::thread &helper : helpers)
        helper.join();
}

} // namespace

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

int PlacedMesh::layerCount(const QList<Model *> &models, float thickness)
{
    float top = 0;
    bool any = false;
    for (Model *model : models) {
        model->updateBounds();
        top = any ? std::max(top, model->boundMax.z()) : model->boundMax.z();
        any = true;
    }
    return any ? layerCount(top, thickness) : 0;
}

int PlacedMesh::layerCount(float top, float thickness)
{
    // A scene entirely below the plate has no layer to print.
    if (top <= 0 || thickness <= 0)
        return 0;
    const int n = int(top / thickness);
    return top >= (float(n) + 0.5f) * thickness ? n + 1 : n;
}

PlacedMesh::PlacedMesh(const Model &model, const std::vector<float> &heights, size_t keepUpTo)
    : PlacedMesh(model.mesh, model.modelMatrix(), heights, keepUpTo)
{
    MeshPrimitiveData holes = DrainHoleMesh::cylinders(model.hollowing, m_matrix);
    if (!holes.indices.empty())
        m_holes = std::make_shared<PlacedMesh>(std::make_shared<const MeshPrimitiveData>(std::move(holes)),
                                               QMatrix4x4(), heights);
}

void PlacedMesh::setCavity(std::shared_ptr<const MeshPrimitiveData> cavity)
{
    m_cavity = cavity ? std::make_shared<PlacedMesh>(std::move(cavity), m_matrix, m_heights) : nullptr;
}

PlacedMesh::PlacedMesh(std::shared_ptr<const MeshPrimitiveData> mesh, const QMatrix4x4 &matrix,
                       const std::vector<float> &heights, size_t keepUpTo)
    : m_heights(heights)
    , m_mesh(std::move(mesh))
    , m_matrix(matrix)
{
    const size_t triangles = m_mesh->indices.size() / 3;

    // A plane meets a triangle only when it lies within the triangle's
    // heights, ends included (an edge in the plane or a vertex on it count):
    // the layers first up to, not including, end.
    std::vector<std::pair<uint32_t, uint32_t>> spans(triangles);
    std::vector<QVector3D> kept(triangles <= keepUpTo ? 3 * triangles : 0);
    splitAmongCores(triangles, [&](size_t begin, size_t end) {
        QVector3D corner[3];
        for (size_t t = begin; t < end; ++t) {
            corners(t, corner);
            if (!kept.empty())
                std::copy(corner, corner + 3, &kept[3 * t]);
            const float low = std::min({corner[0].z(), corner[1].z(), corner[2].z()});
            const float high = std::max({corner[0].z(), corner[1].z(), corner[2].z()});
            const auto first = std::lower_bound(m_heights.begin(), m_heights.end(), low);
            const auto last = std::upper_bound(first, m_heights.end(), high);
            spans[t] = {uint32_t(first - m_heights.begin()), uint32_t(last - m_heights.begin())};
        }
    });
    m_corners = std::move(kept);
    size_t layersSpanned = 0;
    for (const auto &span : spans)
        layersSpanned += span.second - span.first;
    // Per-layer lists would grow with the layer count for triangles as tall
    // as the model (a cylinder's walls): 4 bytes per layer each.
    if (triangles > 0)
        m_blockLayers = std::max<size_t>(1, (layersSpanned + triangles - 1) / triangles);
    const size_t blocks = (m_heights.size() + m_blockLayers - 1) / m_blockLayers;
    m_firstEntry.assign(blocks + 1, 0);
    const auto forEachBlock = [this](const std::pair<uint32_t, uint32_t> &span, auto &&visit) {
        if (span.first < span.second) {
            for (size_t block = span.first / m_blockLayers; block <= (span.second - 1) / m_blockLayers; ++block)
                visit(block);
        }
    };
    for (const auto &span : spans)
        forEachBlock(span, [this](size_t block) { ++m_firstEntry[block + 1]; });
    for (size_t block = 0; block < blocks; ++block)
        m_firstEntry[block + 1] += m_firstEntry[block];
    m_triangles.resize(m_firstEntry.back());
    std::vector<size_t> next(m_firstEntry.begin(), m_firstEntry.end() - 1);
    for (size_t t = 0; t < triangles; ++t)
        forEachBlock(spans[t], [&](size_t block) { m_triangles[next[block]++] = uint32_t(t); });
}

void PlacedMesh::corners(size_t triangle, QVector3D corner[3]) const
{
    if (!m_corners.empty()) {
        std::copy(&m_corners[3 * triangle], &m_corners[3 * triangle + 3], corner);
        return;
    }
    const uint32_t *index = &m_mesh->indices[triangle * 3];
    for (int i = 0; i < 3; ++i) {
        const MeshVertex &v = m_mesh->vertices[index[i]];
        corner[i] = m_matrix.map(QVector3D(v.x, v.y, v.z));
    }
}

int PlacedMesh::cut(int layer, std::vector<SliceSegment> &segments) const
{
    if (layer < 0 || layer >= layerCount())
        return 0;
    const float z = m_heights[size_t(layer)];
    const size_t block = size_t(layer) / m_blockLayers;
    const size_t before = segments.size();
    QVector3D corner[3];
    for (size_t i = m_firstEntry[block]; i < m_firstEntry[block + 1]; ++i) {
        corners(m_triangles[i], corner);
        // The same test as the spans': the plane lies within the triangle's heights.
        if (z < std::min({corner[0].z(), corner[1].z(), corner[2].z()})
            || z > std::max({corner[0].z(), corner[1].z(), corner[2].z()}))
            continue;
        std::optional<QVector3D> edgeHit[3];
        QVector3D hits[3];
        const int n = PlaneCut::cutTriangle(corner, z, edgeHit, hits);
        if (n == 2)
            segments.push_back({hits[0], hits[1], SliceSegment::windingOfCut(corner, edgeHit)});
        else if (n != 0)
            qWarning() << "ERROR: n != 2";
    }
    if (m_cavity)
        m_cavity->cut(layer, segments);
    return int(segments.size() - before);
}

int PlacedMesh::cutHoles(int layer, std::vector<SliceSegment> &segments) const
{
    return m_holes ? m_holes->cut(layer, segments) : 0;
}

} // namespace CWS

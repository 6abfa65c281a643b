#include "slicing/SlicePreview.h"

#include "geometry/Model.h"
#include "geometry/PlaneCut.h"

#include <QDebug>
#include <QMatrix4x4>

#include <algorithm>
#include <optional>

namespace {

// Layers whose preview geometry each model keeps, the most recently shown ones.
constexpr size_t maxCachedLayers = 12;

void touchLayer(Model &model, int layer)
{
    std::list<int> &order = model.layerCacheOrder;
    if (order.empty() || order.back() != layer) {
        order.remove(layer);
        order.push_back(layer);
    }
}

// Appends to layer the part of a hollow model's cavity below plane z (mm),
// so that the cut-away model shows its wall around an empty inside. The
// cavity's triangles face into it: seen from above they are front faces,
// drawn in the model's colour, not the colour of the cut's inside. Their
// vertices are copies, numbered after the model mesh's and the layer's own.
void addCavityBelow(LayerGeometry &layer, const Model &model, float z)
{
    const MeshPrimitiveData &cavity = *model.cavity.mesh;
    const QMatrix4x4 matrix = model.modelMatrix();
    const QMatrix4x4 toMesh = matrix.inverted();
    const size_t meshVertices = model.mesh->vertices.size();
    for (size_t k = 0; k + 2 < cavity.indices.size(); k += 3) {
        QVector3D corner[3];
        for (int i = 0; i < 3; ++i) {
            const MeshVertex &v = cavity.vertices[cavity.indices[k + i]];
            corner[i] = matrix.map(QVector3D(v.x, v.y, v.z));
        }
        std::optional<QVector3D> edgeHit[3];
        QVector3D hits[3];
        const int n = PlaneCut::cutTriangle(corner, z, edgeHit, hits);
        const bool anyBelow = corner[0].z() < z || corner[1].z() < z || corner[2].z() < z;
        if ((n != 0 && n != 2) || !anyBelow)
            continue;
        const uint32_t first = uint32_t(meshVertices + layer.vertices.size());
        for (int e = 0; e < 3; ++e) {
            const MeshVertex &from = cavity.vertices[cavity.indices[k + size_t(e)]];
            if (n == 0 || corner[e].z() < z)
                layer.vertices.push_back(from);
            if (n == 2 && edgeHit[e]) {
                const QVector3D p = toMesh.map(*edgeHit[e]);
                layer.vertices.push_back({p.x(), p.y(), p.z(), from.nx, from.ny, from.nz});
            }
        }
        // Below the plane a triangle leaves a triangle or a quadrangle, as a fan.
        const uint32_t count = uint32_t(meshVertices + layer.vertices.size()) - first;
        for (uint32_t i = 1; i + 1 < count; ++i)
            layer.indices.insert(layer.indices.end(), {first, first + i, first + i + 1});
    }
}

} // namespace

void SlicePreview::start(const QList<Model *> &models, int layers)
{
    m_layers = layers;
    for (Model *model : models) {
        model->layerCacheOrder.clear();
        model->layerCache.clear();
        model->layerCache.resize(size_t(std::max(layers, 0)));
    }
}

void SlicePreview::stop(const QList<Model *> &models)
{
    m_layer = -1;
    m_height = 0;
    for (Model *model : models) {
        model->layerCacheOrder.clear();
        std::vector<LayerGeometry>().swap(model->layerCache);
        model->buffersValid = false;
    }
}

void SlicePreview::show(const QList<Model *> &models, int layer, float z)
{
    m_layer = layer;
    m_height = z;
    for (Model *model : models) {
        buildLayerGeometry(*model, layer, z);
        model->buffersValid = false;
    }
}

void SlicePreview::adopt(const QList<Model *> &models) const
{
    if (!active())
        return;
    const size_t layers = size_t(std::max(m_layers, 0));
    for (Model *model : models) {
        if (model->layerCache.size() != layers) {
            model->layerCacheOrder.clear();
            model->layerCache.clear();
            model->layerCache.resize(layers);
        }
    }
}

void SlicePreview::buildLayerGeometry(Model &model, int layer, float z)
{
    std::vector<LayerGeometry> &cache = model.layerCache;
    if (layer < 0 || size_t(layer) >= cache.size())
        return;
    touchLayer(model, layer);
    if (!cache[size_t(layer)].indices.empty()) {
        qDebug() << "use cached slice data";
        return;
    }
    while (model.layerCacheOrder.size() > maxCachedLayers) {
        cache[size_t(model.layerCacheOrder.front())] = LayerGeometry();
        model.layerCacheOrder.pop_front();
    }
    std::vector<SliceSegment> scratch;
    PlaneCut::cut(model, z, scratch, &cache[size_t(layer)]);
    if (model.cavityFits() && model.cavity.mesh)
        addCavityBelow(cache[size_t(layer)], model, z);
}

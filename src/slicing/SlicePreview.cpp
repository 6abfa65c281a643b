#include "slicing/SlicePreview.h"

#include "geometry/Model.h"
#include "geometry/PlaneCut.h"

#include <QDebug>

#include <algorithm>

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
}

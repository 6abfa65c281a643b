#pragma once

#include <QList>

class Model;

// The slice preview: every model of the scene drawn cut away above one
// layer. Each model keeps the cut-away geometry of the layers shown last in
// its layerCache (one slot per layer of the preview), built on demand.
// GUI thread only.
class SlicePreview
{
public:
    // Starts a preview of layers layers: every model gets that many empty slots.
    void start(const QList<Model *> &models, int layers);
    // Frees every model's preview geometry; no layer is shown afterwards.
    void stop(const QList<Model *> &models);
    // Shows layer (0 ... layers - 1) cut at height z (mm): every model builds
    // its cut-away geometry of that layer and uploads its buffers anew.
    void show(const QList<Model *> &models, int layer, float z);
    // Models that joined the scene while a preview runs get their empty
    // slots; nothing outside a preview.
    void adopt(const QList<Model *> &models) const;

    bool active() const { return m_layer >= 0; }
    // The layer shown and its height (mm); -1 and 0 outside a preview.
    int layer() const { return m_layer; }
    float height() const { return m_height; }

    // Makes model's layerCache[layer] hold its mesh cut at height z (mm)
    // unless it already does ("use cached slice data"), and marks the layer
    // as the most recently used. At most 12 layers keep geometry; the least
    // recently used beyond that are emptied. A layer outside layerCache is
    // left alone.
    static void buildLayerGeometry(Model &model, int layer, float z);

private:
    int m_layer = -1;
    float m_height = 0;
    int m_layers = 0;
};

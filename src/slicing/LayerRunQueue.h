#pragma once

#include "slicing/LayerSink.h"
#include "slicing/RowRuns.h"

#include <QRect>
#include <QThreadPool>

#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

struct SliceBuildConfig;

namespace CWS {

class PlacedMesh;

// The layers of a run handed out one after the other as the runs of their
// solid pixels within a region, while the layers ahead are drawn on a pool
// of its own: a reader that must see the layers in order need not wait for
// each to be drawn. A few layers per pool thread are drawn ahead of the one
// taken, so memory does not grow with the layer count.
//
// Construct, take and delete on one thread.
class LayerRunQueue : private LayerSink
{
public:
    // Layers 0 to layers - 1 of meshes, drawn as a slicing run draws them
    // with config, which must not be supersampled (1-bit layers); region:
    // the raster pixels handed out. config and meshes must stay unchanged
    // until the queue is deleted.
    LayerRunQueue(const SliceBuildConfig &config, const std::vector<PlacedMesh> &meshes, const QRect &region,
                  int layers);
    // Drops the layers not yet drawn and waits for those being drawn.
    ~LayerRunQueue() override;

    // The next layer (0 first, at most layers in all): its white pixels
    // within region, rows and columns counted from region's top left pixel.
    // Waits until it is drawn.
    RowRuns next();

private:
    // Any pool thread, once per layer.
    void layerDone(QImage *image, int layerIndex, QImage *supersampledImage, const QRect &content) override;

    const SliceBuildConfig &m_config;
    const std::vector<PlacedMesh> &m_meshes;
    const QRect m_region;
    const int m_layers;
    std::vector<float> m_heights;
    int m_queued = 0; // layers handed to the pool
    int m_taken = 0;  // layers handed out by next
    std::mutex m_mutex;
    std::condition_variable m_drawn;
    std::map<int, RowRuns> m_ready; // under m_mutex
    QThreadPool m_pool;
};

} // namespace CWS

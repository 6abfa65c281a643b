#include "slicing/LayerRunQueue.h"

#include "settings/SliceBuildConfig.h"
#include "slicing/PlacedMesh.h"
#include "slicing/Slice.h"

#include <algorithm>

namespace CWS {

namespace {

// Enough to keep every pool thread busy while the reader handles a slow layer.
constexpr int layersAheadPerThread = 4;

} // namespace

LayerRunQueue::LayerRunQueue(const SliceBuildConfig &config, const std::vector<PlacedMesh> &meshes,
                             const QRect &region, int layers)
    : m_config(config)
    , m_meshes(meshes)
    , m_region(region)
    , m_layers(layers)
    , m_heights(PlacedMesh::layerHeights(layers, config.layerThickness))
{
}

LayerRunQueue::~LayerRunQueue()
{
    m_pool.clear();
    m_pool.waitForDone(-1);
}

RowRuns LayerRunQueue::next()
{
    const int ahead = layersAheadPerThread * std::max(1, m_pool.maxThreadCount());
    for (; m_queued < std::min(m_layers, m_taken + 1 + ahead); ++m_queued)
        m_pool.start(new Slice(this, &m_config, m_queued, m_heights[size_t(m_queued)], &m_meshes), 0);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_drawn.wait(lock, [this] { return !m_ready.empty() && m_ready.begin()->first == m_taken; });
    RowRuns runs = std::move(m_ready.begin()->second);
    m_ready.erase(m_ready.begin());
    ++m_taken;
    return runs;
}

void LayerRunQueue::layerDone(QImage *image, int layerIndex, QImage *supersampledImage, const QRect &content)
{
    Q_UNUSED(supersampledImage)
    RowRuns runs;
    runs.reset(m_region.height());
    const QRect area = content & m_region;
    if (!area.isEmpty()) {
        RowRuns white, solid;
        RowRuns::fromImage(*image, white, solid, area.top(), area.bottom());
        for (const PixelRun &run : solid.runs()) {
            const int begin = std::max(run.begin, area.left()), end = std::min(run.end, area.right() + 1);
            if (begin < end)
                runs.add(run.row - m_region.top(), begin - m_region.left(), end - m_region.left());
        }
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_ready.emplace(layerIndex, std::move(runs));
    }
    m_drawn.notify_all();
}

} // namespace CWS

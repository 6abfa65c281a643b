#include "slicing/PrintCheckRun.h"

#include "slicing/PrintCheckFeed.h"
#include "slicing/Slice.h"

namespace CWS {

PrintCheckRun::PrintCheckRun(const SliceBuildConfig &config, const QList<Model *> &models, int totalLayers,
                             bool antiAliasing, float antiAliasingFactor, QObject *parent)
    : QThread(parent)
    , m_config(config)
    , m_totalLayers(totalLayers)
    , m_footprints(ModelFootprint::of(models))
    , m_antiAliasing(antiAliasing)
    , m_antiAliasingFactor(antiAliasingFactor)
{
    // Placing the models copies their triangles: the snapshot the run reads.
    const std::vector<float> heights = PlacedMesh::layerHeights(m_totalLayers, m_config.layerThickness);
    m_meshes.reserve(size_t(models.size()));
    for (const Model *model : models) {
        m_meshes.emplace_back(*model, heights);
        m_cavities.emplace_back(*model);
    }
}

PrintCheckRun::~PrintCheckRun()
{
    cancel();
    wait();
}

void PrintCheckRun::run()
{
    for (size_t i = 0; i < m_meshes.size() && !m_cancelled; ++i) {
        if (m_cavities[i].hollow())
            m_meshes[i].setCavity(m_cavities[i].take(&m_cancelled).mesh);
    }
    m_config.beginSupersampling(m_antiAliasing, m_antiAliasingFactor);
    m_feed = std::make_unique<PrintCheckFeed>(m_config, m_footprints);
    const std::vector<float> heights = PlacedMesh::layerHeights(m_totalLayers, m_config.layerThickness);
    for (int i = 0; i < m_totalLayers; ++i)
        m_pool.start(new Slice(this, &m_config, i, heights[size_t(i)], &m_meshes), 0);
    while (!m_pool.waitForDone(50)) {
        if (m_cancelled) {
            m_pool.clear();
            m_pool.waitForDone(-1);
            break;
        }
    }
    if (!m_cancelled)
        m_findings = m_feed->finish();
    m_feed.reset();
}

void PrintCheckRun::layerDone(QImage *image, int layerIndex, QImage *supersampledImage, const QRect &content)
{
    Q_UNUSED(supersampledImage)
    if (!m_cancelled)
        m_feed->add(*image, layerIndex, {content.top(), content.bottom()});
}

} // namespace CWS

#include "supports/SupportGenerator.h"

#include "geometry/Model.h"
#include "settings/SupportConfig.h"
#include "slicing/LayerRunQueue.h"
#include "slicing/PlacedMesh.h"
#include "supports/SupportPlanner.h"
#include "supports/VerticalRays.h"

#include <QDebug>
#include <QRect>

#include <exception>
#include <limits>

namespace CWS {

SupportGenerator::SupportGenerator(const SupportConfig *config, const SliceBuildConfig &buildConfig,
                                   std::vector<Job> jobs, QObject *parent)
    : QThread(parent)
    , m_buildConfig(buildConfig)
    , m_jobs(std::move(jobs))
    , m_spacingPx(int(config->autoSupportSpacing * buildConfig.pixelsPerMmX))
    , m_minGapLayers(minGapLayers(buildConfig.layerThickness))
{
    // Queued signals carry the model across threads.
    qRegisterMetaType<Model *>();
    qRegisterMetaType<CWS::SupportPlacement>();
    qRegisterMetaType<CWS::UnsupportedRegion>();
}

void SupportGenerator::useOverhangs(const SupportShape &shape, std::vector<const Model *> obstacles)
{
    m_overhangs = true;
    m_shape = shape;
    m_obstacles = std::move(obstacles);
}

void SupportGenerator::generateOverhangs()
{
    const VerticalRays scene(m_obstacles);
    const double width = m_buildConfig.resolutionX / m_buildConfig.pixelsPerMmX;
    const double height = m_buildConfig.resolutionY / m_buildConfig.pixelsPerMmY;
    const QRectF platform(-width / 2, -height / 2, width, height);
    for (const Job &job : m_jobs) {
        if (m_cancelled)
            break;
        Q_EMIT modelStarted(job.model);
        const auto found = std::find(m_obstacles.begin(), m_obstacles.end(), job.model);
        if (found == m_obstacles.end())
            continue;
        OverhangPlanner planner(m_shape, scene, platform);
        const std::vector<SupportPlacement> placements
            = planner.plan(int(found - m_obstacles.begin()), [this] { return bool(m_cancelled); });
        for (const SupportPlacement &p : placements)
            Q_EMIT placeSupport(p, job.model);
        for (const UnsupportedRegion &r : planner.unsupportedRegions()) {
            qWarning() << "no support for" << r.points << "points from" << r.lowest << "across" << r.extent << r.reason;
            Q_EMIT cannotSupport(r, job.model);
        }
        Q_EMIT layerDone(job.layers);
    }
}

SupportGenerator::~SupportGenerator()
{
    cancel();
    wait();
}

void SupportGenerator::cancel()
{
    m_cancelled = true;
}

int SupportGenerator::minGapLayers(float layerThickness)
{
    return int(2.0 / double(layerThickness));
}

void SupportGenerator::run()
{
    if (m_overhangs) {
        try {
            generateOverhangs();
        } catch (const std::exception &e) {
            qCritical() << "Start generating exception" << e.what();
        }
        return;
    }
    for (const Job &job : m_jobs) {
        if (m_cancelled)
            break;
        Q_EMIT modelStarted(job.model);
        qDebug() << "Support Generation Started";
        // The maps of a large raster may not fit in memory; the next model may still get its supports.
        try {
            generate(job);
        } catch (const std::exception &e) {
            qCritical() << "Start generating exception" << e.what();
        } catch (...) {
            qCritical() << "Start generating exception ...";
        }
        qDebug() << "Support Generation ended";
    }
}

void SupportGenerator::generate(const Job &job)
{
    // Layer numbers are kept in 16 bits per pixel.
    const int maxLayers = std::numeric_limits<quint16>::max() + 1;
    int layers = job.layers;
    if (layers > maxLayers) {
        qWarning() << "model has" << layers << "layers; supports are generated up to layer" << maxLayers - 1;
        layers = maxLayers;
    }
    const float thickness = m_buildConfig.layerThickness;
    // The mapped corners are not kept: filling their copy took a third of the
    // run for a million triangles, more than mapping them anew at each visit.
    std::vector<PlacedMesh> mesh;
    mesh.emplace_back(*job.model, PlacedMesh::layerHeights(layers, thickness), 0);
    // Outside its footprint a model's layers are black: the maps need not reach there.
    const QRect region = footprint(*job.model);
    SupportPlanner planner(region.width(), region.height(), m_spacingPx, m_minGapLayers);
    LayerRunQueue queue(m_buildConfig, mesh, region, layers);
    for (int i = 0; i < layers; ++i) {
        if (m_cancelled) {
            qDebug() << "Support Generation Cancelled";
            return;
        }
        for (const SupportLocation &s : planner.addLayer(i, queue.next())) {
            const int px = region.left() + s.x;
            const int py = region.top() + s.y;
            qDebug().noquote() << "  add support "
                                      + QString::asprintf("SupportLocation %llx %d -> (%d, %d, %d)",
                                                          qulonglong(quintptr(job.model)), s.baseLayer, px, py,
                                                          s.layer);
            const float x = float((px - m_buildConfig.resolutionX / 2) / m_buildConfig.pixelsPerMmX);
            const float y = float((py - m_buildConfig.resolutionY / 2) / m_buildConfig.pixelsPerMmY);
            Q_EMIT genNewSupport(x, y, (float(s.layer) + 0.5f + 0.01f) * thickness, float(s.baseLayer) * thickness,
                                 job.model);
        }
        Q_EMIT layerDone(i + 1);
    }
    qDebug() << "Support Generation Completed";
}

QRect SupportGenerator::footprint(const Model &model) const
{
    // Mapped as the rasteriser maps points, with a pixel to spare on every side.
    const int centreX = m_buildConfig.resolutionX / 2 + m_buildConfig.offsetX;
    const int centreY = m_buildConfig.resolutionY / 2 + m_buildConfig.offsetY;
    const auto column = [&](float x) { return int(double(x) * m_buildConfig.pixelsPerMmX) + centreX; };
    const auto row = [&](float y) { return int(double(y) * m_buildConfig.pixelsPerMmY) + centreY; };
    const QRect box(QPoint(column(model.boundMin.x()) - 1, row(model.boundMin.y()) - 1),
                    QPoint(column(model.boundMax.x()) + 1, row(model.boundMax.y()) + 1));
    return box.intersected(QRect(0, 0, m_buildConfig.resolutionX, m_buildConfig.resolutionY));
}

} // namespace CWS

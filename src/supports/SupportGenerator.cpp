#include "supports/SupportGenerator.h"

#include "geometry/Model.h"
#include "settings/SupportConfig.h"
#include "slicing/PlacedMesh.h"
#include "slicing/LayerRaster.h"
#include "supports/SupportPlanner.h"
#include "supports/VerticalRays.h"

#include <QDebug>
#include <QImage>
#include <QRect>

#include <array>
#include <cstring>
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
    const std::vector<float> heights = PlacedMesh::layerHeights(layers, thickness);
    std::vector<PlacedMesh> mesh;
    mesh.emplace_back(*job.model, heights);
    // Outside its footprint a model's layers are black: the maps need not reach there.
    const QRect region = footprint(*job.model);
    SupportPlanner planner(region.width(), region.height(), m_spacingPx, m_minGapLayers);

    // The layers are drawn as a slicing run draws them, on one reused 1-bit
    // canvas, and only the footprint is turned into the planner's grey
    // bytes: a full-raster grey image per layer cost most of the run.
    static const std::array<quint64, 256> levels = [] {
        std::array<quint64, 256> table{};
        for (int b = 0; b < 256; ++b) {
            uchar pixels[8];
            for (int k = 0; k < 8; ++k)
                pixels[k] = (b >> (7 - k)) & 1 ? 255 : 0;
            std::memcpy(&table[size_t(b)], pixels, 8);
        }
        return table;
    }();
    const int width = m_buildConfig.resolutionX;
    std::vector<uchar> grey(size_t(std::max(1, region.width())) * size_t(std::max(1, region.height())), 0);
    std::vector<uchar> row(size_t(width + 8), 0);
    QRect written; // footprint pixels set in grey, relative to the footprint
    QImage canvas;
    std::vector<SliceSegment> segments;
    for (int i = 0; i < layers; ++i) {
        if (m_cancelled) {
            qDebug() << "Support Generation Cancelled";
            return;
        }
        qDebug().nospace() << "Support deal slice " << i << "/" << layers;
        QRect drawn;
        {
            LayerRaster raster(m_buildConfig, std::move(canvas));
            segments.clear();
            mesh.front().cut(i, segments);
            raster.drawSegments(segments);
            canvas = raster.image();
            drawn = raster.content();
        } // the canvas is no longer shared: clearing it below copies nothing
        const QRect content = drawn.intersected(region);
        for (int y = written.top(); y <= written.bottom(); ++y)
            std::memset(grey.data() + size_t(y) * size_t(region.width()) + size_t(written.left()), 0,
                        size_t(written.width()));
        written = QRect();
        if (!content.isEmpty()) {
            for (int y = content.top(); y <= content.bottom(); ++y) {
                const uchar *bits = canvas.constScanLine(y);
                for (int b = content.left() / 8; b <= content.right() / 8; ++b)
                    std::memcpy(row.data() + 8 * b, &levels[bits[b]], 8);
                std::memcpy(grey.data() + size_t(y - region.top()) * size_t(region.width())
                                + size_t(content.left() - region.left()),
                            row.data() + content.left(), size_t(content.width()));
            }
            written = content.translated(-region.topLeft());
        }
        // Black again for the next layer, as LayerRaster expects its canvas.
        for (int y = drawn.top(); y <= drawn.bottom(); ++y)
            std::memset(canvas.scanLine(y), 0, size_t(canvas.bytesPerLine()));
        for (const SupportLocation &s :
             planner.addLayer(i, region.isEmpty() ? nullptr : grey.data(), region.width(), written)) {
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

#include "slicing/Slice.h"

#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/LayerSink.h"
#include "workspace/KaloModel.h"
#include "workspace/Model.h"

#include <QDebug>
#include <QPainter>

#include <algorithm>
#include <limits>

namespace CWS {

namespace {

// A segment in pixels relative to the image centre.
struct PixelSegment
{
    int x1, y1, x2, y2;
};

} // namespace

Slice::Slice(LayerSink *slicer, const SliceBuildConfig *config, int layerIndex, float layerZ,
             const QList<Model *> *models)
    : m_slicer(slicer)
    , m_config(config)
    , m_layerIndex(layerIndex)
    , m_layerZ(layerZ)
    , m_models(models)
{
}

Slice::~Slice() = default;

void Slice::run()
{
    // A slicing run supersamples exactly when anti-aliasing is on.
    render(m_config->supersampled, scene());
    if (m_slicer)
        m_slicer->layerDone(m_image.get(), m_layerIndex, m_supersampledImage.get());
}

void Slice::renderLayer(bool forceGreyscale, Model *onlyModel)
{
    const bool greyscale = forceGreyscale || KaloConfig::instance()->useAntialise();
    render(greyscale, onlyModel ? QList<Model *>{onlyModel} : scene());
}

void Slice::prepareLayerGeometry()
{
    for (Model *model : scene()) {
        model->buildLayerGeometry(m_layerIndex, m_layerZ);
        model->buffersValid = false;
    }
}

QList<Model *> Slice::scene() const
{
    if (m_models)
        return *m_models;
    const KaloModel *manager = KaloModel::instance();
    return manager ? manager->models() : QList<Model *>();
}

void Slice::render(bool greyscale, const QList<Model *> &models)
{
    m_supersampledImage.reset();
    m_image = std::make_unique<QImage>(m_config->resolutionX, m_config->resolutionY,
                                       greyscale ? QImage::Format_Grayscale8 : QImage::Format_Mono);
    if (!greyscale)
        m_image->setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    m_image->fill(0);

    for (Model *model : models) {
        std::vector<SliceSegment> segments;
        model->sliceAt(m_layerIndex, m_layerZ, segments, false);
        QPainter painter(m_image.get());
        drawSegments(painter, segments);
    }

    if (m_config->supersampled) {
        m_supersampledImage = std::move(m_image);
        // Smooth scaling hands back 32-bit colour; the layer is stored as grey.
        m_image = std::make_unique<QImage>(
            m_supersampledImage->scaled(m_config->targetSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_Grayscale8));
    }
}

void Slice::drawSegments(QPainter &painter, const std::vector<SliceSegment> &segments) const
{
    if (segments.empty())
        return;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(255, 255, 255, 255), 1, Qt::SolidLine));

    const int centreX = m_config->resolutionX / 2 + m_config->offsetX;
    const int centreY = m_config->resolutionY / 2 + m_config->offsetY;
    const double scaleX = m_config->pixelsPerMmX;
    const double scaleY = m_config->pixelsPerMmY;

    std::vector<PixelSegment> pixels;
    pixels.reserve(segments.size());
    int minRow = std::numeric_limits<int>::max();
    int maxRow = std::numeric_limits<int>::min();
    for (const SliceSegment &s : segments) {
        const PixelSegment p{int(double(s.p1.x()) * scaleX), int(double(s.p1.y()) * scaleY),
                             int(double(s.p2.x()) * scaleX), int(double(s.p2.y()) * scaleY)};
        pixels.push_back(p);
        minRow = std::min({minRow, p.y1, p.y2});
        maxRow = std::max({maxRow, p.y1, p.y2});
        painter.drawLine(p.x1 + centreX, p.y1 + centreY, p.x2 + centreX, p.y2 + centreY);
    }

    // Where two segments meet on a row only the one that goes on to larger
    // rows counts the shared end: an outline passing through the row there
    // crosses it once, one turning back there crosses it twice or not at all.
    std::vector<int> crossings;
    for (int row = minRow; row < maxRow; ++row) {
        crossings.clear();
        for (const PixelSegment &p : pixels) {
            if (row < std::min(p.y1, p.y2) || row > std::max(p.y1, p.y2))
                continue;
            if (p.y1 == row && p.y2 == row) {
                crossings.push_back(p.x1);
                crossings.push_back(p.x2);
                continue;
            }
            const bool firstIsLow = p.y1 < p.y2;
            const int xl = firstIsLow ? p.x1 : p.x2;
            const int yl = firstIsLow ? p.y1 : p.y2;
            const int xh = firstIsLow ? p.x2 : p.x1;
            const int yh = firstIsLow ? p.y2 : p.y1;
            if (yh == row)
                continue;
            if (yl == row)
                crossings.push_back(xl);
            else
                crossings.push_back(int(xl + double(xh - xl) * (row - yl) / (yh - yl)));
        }
        if (crossings.size() % 2 != 0) {
            qDebug().nospace() << "Row y=" << row << " odd # of points = " << crossings.size()
                               << " - Model may have holes";
            continue;
        }
        std::sort(crossings.begin(), crossings.end());
        for (size_t i = 0; i < crossings.size(); i += 2)
            painter.drawLine(crossings[i] + centreX, row + centreY, crossings[i + 1] + centreX, row + centreY);
    }
}

} // namespace CWS

#include "slicing/Slice.h"

#include "geometry/Model.h"
#include "geometry/PlaneCut.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/Downscale.h"
#include "slicing/HappensBefore.h"
#include "slicing/LayerRaster.h"
#include "slicing/LayerSink.h"
#include "slicing/PlacedMesh.h"

#include <cstring>
#include <tuple>
#include <utility>

namespace CWS {

namespace {

// A pool thread slices one layer after another at the same size. The images
// of its last layer, once nothing else holds them, are drawn on again,
// cleared only in the rows that were drawn: clearing whole new images cost
// more than drawing the layer.
class Canvas
{
public:
    // The kept image, all black, if it is of this size and format and
    // nothing else holds it; else a null image.
    QImage take(const QSize &size, QImage::Format format)
    {
        QImage canvas = std::exchange(m_image, QImage());
        if (canvas.size() != size || canvas.format() != format || !canvas.isDetached())
            return QImage();
        if (m_firstRow <= m_lastRow) {
            const size_t rows = size_t(m_lastRow - m_firstRow + 1);
            std::memset(canvas.scanLine(m_firstRow), 0, size_t(canvas.bytesPerLine()) * rows);
        }
        return canvas;
    }

    // Keeps image, whose white pixels all lie in rows firstRow to lastRow.
    void keep(std::unique_ptr<QImage> image, std::pair<int, int> rows)
    {
        if (image && !image->isNull())
            m_image = std::move(*image);
        std::tie(m_firstRow, m_lastRow) = rows;
    }

private:
    QImage m_image;
    int m_firstRow = 0;
    int m_lastRow = -1;
};

thread_local Canvas rasterCanvas; // the 1-bit drawing
thread_local Canvas layerCanvas;  // its reduction, when supersampled

} // namespace

Slice::Slice(LayerSink *slicer, const SliceBuildConfig *config, int layerIndex, float layerZ,
             const QList<Model *> *models)
    : m_slicer(slicer)
    , m_config(config)
    , m_layerIndex(layerIndex)
    , m_layerZ(layerZ)
    , m_models(models)
{
    happensBefore(this);
}

Slice::Slice(LayerSink *slicer, const SliceBuildConfig *config, int layerIndex, float layerZ,
             const std::vector<PlacedMesh> *meshes)
    : m_slicer(slicer)
    , m_config(config)
    , m_layerIndex(layerIndex)
    , m_layerZ(layerZ)
    , m_meshes(meshes)
{
    happensBefore(this);
}

Slice::~Slice() = default;

void Slice::run()
{
    // Built on the thread that queued it; the pool's queue orders the two.
    happensAfter(this);
    // A slicing run supersamples exactly when anti-aliasing is on.
    const bool supersampled = m_config->supersampled;
    if (!m_slicer) {
        render(supersampled, nullptr);
        return;
    }
    const QSize rasterSize(m_config->resolutionX, m_config->resolutionY);
    render(supersampled, nullptr, rasterCanvas.take(rasterSize, QImage::Format_Mono),
           supersampled ? layerCanvas.take(m_config->targetSize, QImage::Format_Grayscale8) : QImage());
    const std::pair<int, int> rows(m_content.top(), m_content.bottom());
    const std::pair<int, int> layerRows =
        supersampled ? reducedRows(m_content, rasterSize, m_config->targetSize) : rows;
    m_slicer->layerDone(m_image.get(), m_layerIndex, m_supersampledImage.get(), layerRows);

    // The slicer is done with the images: they are this thread's canvases now.
    if (supersampled) {
        rasterCanvas.keep(std::move(m_supersampledImage), rows);
        layerCanvas.keep(std::move(m_image), layerRows);
    } else {
        rasterCanvas.keep(std::move(m_image), rows);
    }
}

void Slice::renderLayer(bool greyscale, Model *onlyModel)
{
    render(greyscale, onlyModel);
}

void Slice::render(bool greyscale, Model *onlyModel, QImage rasterCanvas, QImage layerCanvas)
{
    LayerRaster raster(*m_config, std::move(rasterCanvas));
    std::vector<SliceSegment> segments;
    if (m_meshes && !onlyModel) {
        for (const PlacedMesh &mesh : *m_meshes) {
            segments.clear();
            mesh.cut(m_layerIndex, segments);
            raster.drawSegments(segments);
        }
    } else {
        for (Model *model : onlyModel ? QList<Model *>{onlyModel} : *m_models) {
            segments.clear();
            PlaneCut::cut(*model, m_layerZ, segments);
            raster.drawSegments(segments);
        }
    }

    m_content = raster.content();
    m_supersampledImage.reset();
    if (m_config->supersampled) {
        m_image = std::make_unique<QImage>(
            downscale(raster.image(), raster.content(), m_config->targetSize, std::move(layerCanvas)));
        m_supersampledImage = std::make_unique<QImage>(raster.image());
    } else {
        m_image = std::make_unique<QImage>(greyscale ? raster.toGrey() : raster.image());
    }
}

} // namespace CWS

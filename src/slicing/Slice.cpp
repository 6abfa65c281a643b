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
#include <utility>

namespace CWS {

namespace {

// A pool thread slices one layer after another at the same size. The images
// of its last layer, once nothing else holds them, are drawn on again,
// cleared only where they were drawn: clearing whole new images cost more
// than drawing the layer, and clearing whole rows of a 12K layer a tenth
// of a run.
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
        const QRect drawn = m_drawn & canvas.rect();
        if (!drawn.isEmpty()) {
            // A 1-bit row holds eight pixels a byte.
            const int shift = format == QImage::Format_Mono ? 3 : 0;
            const int first = drawn.left() >> shift, bytes = (drawn.right() >> shift) - first + 1;
            for (int y = drawn.top(); y <= drawn.bottom(); ++y)
                std::memset(canvas.scanLine(y) + first, 0, size_t(bytes));
        }
        return canvas;
    }

    // Keeps image, whose pixels that are not black all lie in drawn.
    void keep(std::unique_ptr<QImage> image, const QRect &drawn)
    {
        if (image && !image->isNull())
            m_image = std::move(*image);
        m_drawn = drawn;
    }

private:
    QImage m_image;
    QRect m_drawn;
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
    const QRect reduced = supersampled ? reducedContent(m_content, rasterSize, m_config->targetSize) : m_content;
    m_slicer->layerDone(m_image.get(), m_layerIndex, m_supersampledImage.get(), reduced);

    // The slicer is done with the images: they are this thread's canvases now.
    if (supersampled) {
        rasterCanvas.keep(std::move(m_supersampledImage), m_content);
        layerCanvas.keep(std::move(m_image), reduced);
    } else {
        rasterCanvas.keep(std::move(m_image), m_content);
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
    const auto draw = [&](const PlacedMesh &mesh, int layer) {
        segments.clear();
        mesh.cut(layer, segments);
        raster.drawSegments(segments);
        if (!mesh.hasHoles())
            return;
        segments.clear();
        mesh.cutHoles(layer, segments);
        raster.clearSegments(segments);
    };
    // A drain hole clears what is drawn before it: only models with holes
    // go before it, never a support or a model without holes.
    if (m_meshes && !onlyModel) {
        for (const bool holes : {true, false}) {
            for (const PlacedMesh &mesh : *m_meshes) {
                if (mesh.hasHoles() == holes)
                    draw(mesh, m_layerIndex);
            }
        }
    } else {
        const QList<Model *> models = onlyModel ? QList<Model *>{onlyModel} : *m_models;
        for (const bool holes : {true, false}) {
            for (Model *model : models) {
                if ((model->hollowing.isHollow() && !model->hollowing.drainHoles.empty()) != holes)
                    continue;
                if (!model->hollowing.isHollow()) {
                    segments.clear();
                    PlaneCut::cut(*model, m_layerZ, segments);
                    raster.drawSegments(segments);
                    continue;
                }
                // Drawn from the model's own cavity as long as it fits; the
                // model manager makes a new one in the background when not.
                PlacedMesh placed(*model, {m_layerZ});
                if (model->cavityFits())
                    placed.setCavity(model->cavity.mesh);
                draw(placed, 0);
            }
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

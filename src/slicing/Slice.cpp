#include "slicing/Slice.h"

#include "app/HappensBefore.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/Downscale.h"
#include "slicing/LayerRaster.h"
#include "slicing/LayerSink.h"
#include "slicing/PlacedMesh.h"
#include "workspace/KaloModel.h"
#include "workspace/Model.h"

namespace CWS {

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
    render(m_config->supersampled, nullptr);
    if (m_slicer)
        m_slicer->layerDone(m_image.get(), m_layerIndex, m_supersampledImage.get());
}

void Slice::renderLayer(bool forceGreyscale, Model *onlyModel)
{
    render(forceGreyscale || KaloConfig::instance()->useAntialise(), onlyModel);
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

void Slice::render(bool greyscale, Model *onlyModel)
{
    LayerRaster raster(*m_config);
    std::vector<SliceSegment> segments;
    if (m_meshes && !onlyModel) {
        for (const PlacedMesh &mesh : *m_meshes) {
            segments.clear();
            mesh.cut(m_layerIndex, segments);
            raster.drawSegments(segments);
        }
    } else {
        for (Model *model : onlyModel ? QList<Model *>{onlyModel} : scene()) {
            segments.clear();
            model->sliceAt(m_layerIndex, m_layerZ, segments, false);
            raster.drawSegments(segments);
        }
    }

    m_supersampledImage.reset();
    if (m_config->supersampled) {
        m_image = std::make_unique<QImage>(downscale(raster.image(), raster.content(), m_config->targetSize));
        m_supersampledImage = std::make_unique<QImage>(raster.image());
    } else {
        m_image = std::make_unique<QImage>(greyscale ? raster.toGrey() : raster.image());
    }
}

} // namespace CWS

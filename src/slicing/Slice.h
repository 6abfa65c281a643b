#pragma once

#include "geometry/SliceSegment.h"

#include <QImage>
#include <QList>
#include <QRunnable>

#include <memory>
#include <vector>

class Model;
struct SliceBuildConfig;

namespace CWS {

class LayerSink;
class PlacedMesh;

// One layer of a print: cuts the models with the horizontal plane at layerZ
// and fills what the plane encloses into an image of the display's raster
// (see LayerRaster for the mapping and the fill rule). The slicer queues one
// job per layer on its pool, which deletes the job after run.
//
// A job takes no lock: while it runs the model list, the meshes, the model
// matrices and config stay unchanged, and the models' bounds are up to date.
class Slice : public QRunnable
{
public:
    // slicer is null when the job is not part of a slicing run. config must
    // outlive the job. layerZ is the height of the cutting plane (mm).
    // models: the scene to draw, in order, owned by the caller and unchanged
    // until the job ends.
    Slice(LayerSink *slicer, const SliceBuildConfig *config, int layerIndex, float layerZ,
          const QList<Model *> *models);
    // The same job over a scene prepared for the whole run: each mesh is cut
    // at its plane of layerIndex, which must be layerZ. The same images as
    // for the models the meshes were placed from, only faster.
    Slice(LayerSink *slicer, const SliceBuildConfig *config, int layerIndex, float layerZ,
          const std::vector<PlacedMesh> *meshes);
    ~Slice() override;

    // Renders the scene and hands the images to the slicer, after which the
    // job no longer holds them; without a slicer it keeps them. The layer is
    // 8-bit grey exactly when config is supersampled (the run's
    // anti-aliasing), so a pool thread reads no settings object.
    void run() override;

    // Renders the layer into image(): an 8-bit grey image when greyscale
    // (or anti-aliasing on), else 1-bit (Format_Mono,
    // index 0 black, 1 white). onlyModel: only that model; null: every model of the
    // scene in list order, overlapping areas united. A hollow model is drawn
    // with its cavity (from the run's placement, or the model's own while it
    // fits) left empty, and its drain holes' sections are cleared right after
    // it, outlines included; models with holes are drawn first, so that a
    // hole never clears a support or another model. When config is
    // supersampled the layer is drawn 1-bit at the enlarged raster, kept in
    // supersampledImage(), and image() is its smooth reduction to
    // config.targetSize in 8-bit grey (see downscale). A plane outside every
    // model gives a black image.
    void renderLayer(bool greyscale, Model *onlyModel);

    int layerIndex() const { return m_layerIndex; }
    float layerZ() const { return m_layerZ; }
    // Owned by the job; null until renderLayer.
    QImage *image() const { return m_image.get(); }
    // Null unless the last renderLayer was supersampled.
    QImage *supersampledImage() const { return m_supersampledImage.get(); }

private:
    // rasterCanvas, layerCanvas: all black images that the drawing and its
    // reduction may be made on (see LayerRaster and downscale).
    void render(bool greyscale, Model *onlyModel, QImage rasterCanvas = QImage(), QImage layerCanvas = QImage());

    LayerSink *m_slicer;
    const SliceBuildConfig *m_config;
    int m_layerIndex;
    float m_layerZ;
    const QList<Model *> *m_models = nullptr;
    const std::vector<PlacedMesh> *m_meshes = nullptr;
    std::unique_ptr<QImage> m_image;
    std::unique_ptr<QImage> m_supersampledImage;
    QRect m_content; // holds the drawing's white pixels (drawing pixels)
};

} // namespace CWS

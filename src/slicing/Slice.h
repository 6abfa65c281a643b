#pragma once

#include "slicing/SliceSegment.h"

#include <QImage>
#include <QList>
#include <QRunnable>

#include <memory>
#include <vector>

class Model;
class QPainter;
struct SliceBuildConfig;

namespace CWS {

class LayerSink;

// One layer of a print: cuts the models with the horizontal plane at layerZ
// and fills what the plane encloses into an image of the display's raster.
// The slicer queues one job per layer on its pool, which deletes the job
// after run; the support generator calls renderLayer directly.
//
// Raster: config's resolutionX x resolutionY pixels at pixelsPerMmX/Y.
// Platform x = y = 0 lies on pixel (resolutionX / 2 + offsetX,
// resolutionY / 2 + offsetY); columns grow with platform x and rows with
// platform y. A coordinate becomes a pixel by truncation toward zero, so the
// centre column and row cover twice the width of the others.
// Black (0) is not exposed, white (1, or 255 in 8-bit) is exposed.
//
// A job takes no lock: while it runs the model list, the meshes, the model
// matrices and config stay unchanged, and the models' bounds are up to date.
class Slice : public QRunnable
{
public:
    // slicer is null when the job is not part of a slicing run. config must
    // outlive the job. layerZ is the height of the cutting plane (mm).
    // models: the scene to draw, in order, owned by the caller and unchanged
    // until the job ends; null means the model manager's list, read when the
    // layer is rendered, which only the GUI thread may do.
    Slice(LayerSink *slicer, const SliceBuildConfig *config, int layerIndex, float layerZ,
          const QList<Model *> *models = nullptr);
    ~Slice() override;

    // Renders the scene and hands the images to the slicer. The layer is
    // 8-bit grey exactly when config is supersampled (the run's
    // anti-aliasing), so a pool thread reads no settings object.
    void run() override;

    // Renders the layer into image(): an 8-bit grey image when forceGreyscale
    // or the anti-aliasing setting is on, else 1-bit (Format_Mono, index 0
    // black, 1 white). onlyModel: only that model; null: every model of the
    // scene in list order, overlapping areas united. When config is
    // supersampled the layer is drawn at the enlarged raster, kept in
    // supersampledImage(), and image() is its smooth reduction to
    // config.targetSize in 8-bit grey. A plane outside every model gives a
    // black image. Reads the settings object: GUI thread, or a thread that
    // runs while nothing changes the settings.
    void renderLayer(bool forceGreyscale, Model *onlyModel);

    // Draws one model's outline with painter in opaque white: every segment
    // as a 1-pixel line, then each row from the lowest segment row up to, but
    // not including, the highest filled between the 1st and 2nd, 3rd and 4th,
    // ... crossing (even-odd rule). A row with an odd number of crossings
    // (an open or self-intersecting mesh) is logged and keeps its outline only.
    void drawSegments(QPainter &painter, const std::vector<SliceSegment> &segments) const;

    // Slice preview, GUI thread: every model of the scene builds its
    // cut-away geometry of this layer (Model::buildLayerGeometry) and will
    // upload its buffers anew for the next frame.
    void prepareLayerGeometry();

    int layerIndex() const { return m_layerIndex; }
    float layerZ() const { return m_layerZ; }
    // Owned by the job; null until renderLayer.
    QImage *image() const { return m_image.get(); }
    // Null unless the last renderLayer was supersampled.
    QImage *supersampledImage() const { return m_supersampledImage.get(); }

private:
    void render(bool greyscale, const QList<Model *> &models);
    QList<Model *> scene() const;

    LayerSink *m_slicer;
    const SliceBuildConfig *m_config;
    int m_layerIndex;
    float m_layerZ;
    const QList<Model *> *m_models;
    std::unique_ptr<QImage> m_image;
    std::unique_ptr<QImage> m_supersampledImage;
};

} // namespace CWS

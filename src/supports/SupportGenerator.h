#pragma once

#include "settings/SliceBuildConfig.h"
#include "settings/SupportConfig.h"
#include "supports/OverhangPlanner.h"

#include <QRect>
#include <QThread>

#include <atomic>
#include <vector>

class Model;

namespace CWS {

class SupportConfig;

// Automatic supports on a thread of its own: draws each model alone layer by
// layer as a slicing run draws it (1-bit, on a pool, a few layers ahead:
// LayerRunQueue) and lets a SupportPlanner decide, from the platform up,
// where columns go; announces each with genNewSupport.
// It never creates, changes or selects a model: the model manager does that
// on the GUI thread as the queued signals arrive.
//
// Construct, start, cancel and delete on the GUI thread. The end arrives as
// QThread::finished, after every signal emitted before it.
class SupportGenerator : public QThread
{
    Q_OBJECT
public:
    // One model to support and its layer count (KaloModel::calcNumSlices,
    // which also brings its bounds up to date).
    struct Job
    {
        Model *model;
        int layers;
    };

    // Takes everything the run reads, on the calling (GUI) thread: the
    // spacing of supports inside an island from config (autoSupportSpacing,
    // mm), a copy of buildConfig (raster, pixels per mm, layer thickness)
    // and the models with their layer counts, in the order to process them.
    // The models must stay alive and unchanged until the thread has finished
    // (the model manager's MODEL_AUTO_GEN_SUPPORT status keeps them so).
    SupportGenerator(const SupportConfig *config, const SliceBuildConfig &buildConfig, std::vector<Job> jobs,
                     QObject *parent = nullptr);
    // A generator still running is cancelled first and waited for.
    ~SupportGenerator() override;

    // Finds the supports "Islands and overhangs" gives the jobs' models
    // instead (OverhangPlanner, from their triangles), announced by
    // placeSupport. obstacles: every model a column may meet, the jobs'
    // included, unchanged until the thread has finished. Before start.
    void useOverhangs(const SupportShape &shape, std::vector<const Model *> obstacles);

    // Any thread. The run stops before its next layer.
    void cancel();

    // Supports closer than this many layers above earlier material of the
    // same model are left out: 2 mm over the layer thickness, truncated
    // (39 at 0.05 mm, whose single-precision value lies just above 0.05).
    static int minGapLayers(float layerThickness);

Q_SIGNALS:
    // One column for model: its tip at x, y (mm, platform) and height z (mm),
    // 0.01 layer above the middle of the layer it holds up; zbase (mm) is the
    // top of the model's material under the tip, 0 when there is none.
    void genNewSupport(float x, float y, float z, float zbase, Model *model);
    // One tipped column for model ("Islands and overhangs").
    void placeSupport(const CWS::SupportPlacement &placement, Model *model);
    // A region of model that needs holding but can have no column, and why;
    // after every column of model.
    void cannotSupport(const CWS::UnsupportedRegion &region, Model *model);
    // The run turns to model; the model manager selects it.
    void modelStarted(Model *model);
    // Layers of the current model done so far (1 ... its layer count).
    void layerDone(int layers);

protected:
    void run() override;

private:
    void generate(const Job &job);
    void generateOverhangs();
    // The raster pixels model's bounds cover, within the raster.
    QRect footprint(const Model &model) const;

    SliceBuildConfig m_buildConfig;
    std::vector<Job> m_jobs;
    int m_spacingPx;
    int m_minGapLayers;
    std::atomic<bool> m_cancelled{false};
    bool m_overhangs = false;
    SupportShape m_shape;
    std::vector<const Model *> m_obstacles;
};

} // namespace CWS

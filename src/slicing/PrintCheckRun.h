#pragma once

#include "settings/SliceBuildConfig.h"
#include "slicing/CavitySnapshot.h"
#include "slicing/LayerSink.h"
#include "slicing/PlacedMesh.h"
#include "slicing/PrintCheck.h"

#include <QList>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <vector>

class Model;

namespace CWS {

class PrintCheckFeed;

// The print check without an archive: draws every layer of a snapshot of
// the scene, as a slicing run would (the same jobs, the same images), on a
// pool of its own and checks them in order. For the window's "Check print"
// when no slicing run is going.
//
// Construct (which takes the snapshot: the models may change right after;
// a hollow model's cavity that no longer fits is made as the run starts),
// start, cancel and delete on the GUI thread; the end comes as
// QThread::finished, then findings() holds the result unless cancelled.
class PrintCheckRun : public QThread, public LayerSink
{
    Q_OBJECT
public:
    // The same arguments as for a Slicer, less the archive and G-code.
    PrintCheckRun(const SliceBuildConfig &config, const QList<Model *> &models, int totalLayers, bool antiAliasing,
                  float antiAliasingFactor, QObject *parent = nullptr);
    ~PrintCheckRun() override;

    // Any thread: layers not yet drawn are dropped.
    void cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }
    const std::vector<PrintFinding> &findings() const { return m_findings; }

    void layerDone(QImage *image, int layerIndex, QImage *supersampledImage, const QRect &content) override;

protected:
    void run() override;

private:
    SliceBuildConfig m_config;
    int m_totalLayers;
    std::vector<PlacedMesh> m_meshes;
    std::vector<CavitySnapshot> m_cavities; // in m_meshes' order, set on them as the run starts
    std::vector<ModelFootprint> m_footprints;
    bool m_antiAliasing;
    float m_antiAliasingFactor;
    QThreadPool m_pool;
    std::unique_ptr<PrintCheckFeed> m_feed;
    std::atomic<bool> m_cancelled{false};
    std::vector<PrintFinding> m_findings;
};

} // namespace CWS

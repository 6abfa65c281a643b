#pragma once

#include "settings/SliceBuildConfig.h"
#include "slicing/CavitySnapshot.h"
#include "slicing/LayerSink.h"
#include "slicing/PlacedMesh.h"
#include "slicing/PrintCheck.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QThread>
#include <QThreadPool>

#include <quazip.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class CommittedFile;
class Model;


namespace CWS {

class PrintCheckFeed;

// One slicing run on a thread of its own: renders every layer of the scene
// through a pool of Slice jobs and writes the print archive, a zip file of
// deflated entries:
// - baseName + layer number + ".png" for every layer, the number padded with
//   zeros to the digit count of the layer count (150 layers: 000 to 149; 9
//   layers: 0 to 8), in the order the jobs finish. The image has the native
//   raster: 1-bit, white where the resin is exposed, or with anti-aliasing
//   8-bit grey.
// - baseName + ".gcode" last (see buildGcode), only when every layer is in.
// An SL1 archive (config's format) numbers its layers with five digits,
// always as 8-bit grey, and ends instead with config.ini, prusaslicer.ini
// (see Sl1Config) and thumbnail/thumbnail400x400.png, the layers seen from
// above. Either way each layer is turned and mirrored as the printer
// expects it (PrinterImage) as it is encoded.
// The archive is written beside outputPath and renamed over it once it is
// complete on disk (CommittedFile): every write checked, synced, its central
// directory read back with every entry. A failed or cancelled run leaves no
// half archive, and whatever outputPath held before stays byte for byte
// until the new one is whole. A path that names a device rather than a
// regular file is written in place.
// Layer i is cut at (i + 0.5) x layerThickness, the height summed in single
// precision. The models are placed for the run once (PlacedMesh), hollow
// ones with their cavity, made first when theirs no longer fits; the layers
// are rendered by as many threads as the machine has logical processors,
// handed to the pool a few per thread ahead as it frees up, so that a cancel
// takes effect within a layer's time at any layer count. Each thread also
// encodes its layer (encodePng) and compresses the entry, so that the
// archive's lock covers only writing it. A layer's images live only while
// its job runs.
//
// Construct, start, cancel and delete on the GUI thread; the pool threads
// report through layerWritten, the end through QThread::finished, then
// error() tells whether the archive is complete.
class Slicer : public QThread, public LayerSink
{
    Q_OBJECT
public:
    // Takes everything the run reads, on the calling (GUI) thread: a copy of
    // config, whose outputPath and baseName name the archive; the models to
    // print, which must stay alive and unchanged until the thread has
    // finished (the model manager's MODEL_SLICING status keeps them so);
    // totalLayers, their layer count (KaloModel::calcNumSlices, which also
    // brings their bounds up to date); the anti-aliasing switch and factor
    // (2 to 5) and the printer's build height (mm) for the G-code.
    Slicer(const SliceBuildConfig &config, const QList<Model *> &models, int totalLayers, bool antiAliasing,
           float antiAliasingFactor, int buildHeightMm, QObject *parent = nullptr);
    // A slicer still running is cancelled first; waits for every job.
    ~Slicer() override;

    // Any thread. Jobs not yet started are dropped, running ones finish, no
    // G-code is written and the partial archive is discarded. A cancel that
    // comes once the complete archive is being closed no longer stops it.
    void cancel();

    // Before start: runs the print check on the layers as they are drawn
    // (see PrintCheck). strict: when it finds an island or a clipped part the
    // archive is not written and error() says why.
    void setPrintCheck(bool strict);
    // After the thread has finished a run with the check through every layer.
    const std::vector<PrintFinding> &findings() const { return m_findings; }
    // The strict check found islands or clipped parts.
    bool rejectedByCheck() const { return m_rejected; }

    // Pool threads, from Slice::run: stores the layer in the archive.
    void layerDone(QImage *image, int layerIndex, QImage *supersampledImage, const QRect &content) override;

    // After the thread has finished: empty when the archive was completed or
    // the run cancelled; otherwise a sentence for the user naming the
    // archive and what could not be written (an incomplete archive is never
    // put in place).
    QString error() const { return m_error; }
    bool cancelled() const { return m_cancelled; }
    // After the thread has finished: the archive is complete and in place,
    // even when a cancel came too late to stop it.
    bool completed() const { return m_completed; }

Q_SIGNALS:
    // One more layer is in the archive; layers counts them (1 ... layer
    // count). Emitted on pool threads.
    void layerWritten(int layers);

protected:
    void run() override;

private:
    void startPool();
    QString entryName(int layerIndex) const;
    // Under m_mutex: brightens the thumbnail wherever small, a layer fitted
    // into it, is brighter.
    void addToThumbnail(const QImage &small);
    // The closing entries of an SL1 archive; on the slicer thread.
    void writeSl1Entries();

    static constexpr QSize thumbnailSize{400, 400};
    // The message for an archive that could not be completed: what failed
    // and why. While m_archive exists.
    QString incomplete(const QString &what, const QString &why = QString()) const;
    // Records the first failure; the run stops queuing layers.
    void fail(const QString &message);

    SliceBuildConfig m_config;
    int m_totalLayers;
    QThreadPool m_pool;
    int m_finishedLayers = 0; // under m_mutex
    // What m_zip writes into, for the length of run().
    std::unique_ptr<CommittedFile> m_archive;
    QuaZip m_zip;
    int m_padLength = 1; // digits of the layer numbers
    // Serialises the archive: one entry open at a time. A standard mutex,
    // whose locking ThreadSanitizer sees (not Qt's, Qt being built without it).
    std::mutex m_mutex;
    QList<Model *> m_models;
    // The models placed for the run, in list order; read by the jobs.
    std::vector<PlacedMesh> m_meshes;
    // The models' cavities, in list order, taken with them; those not yet
    // made are made as the run starts.
    std::vector<CavitySnapshot> m_cavities;
    bool m_antiAliasing;
    float m_antiAliasingFactor;
    int m_buildHeightMm;
    double m_usedMaterialMl = 0;
    QImage m_thumbnail; // under m_mutex
    // Layers handed to the pool and not yet done, under m_feedMutex; a job
    // ending announces it through m_layerEnded, as do a cancel and a failure.
    static constexpr int layersAheadPerThread = 4;
    int m_layersQueued = 0;
    std::mutex m_feedMutex;
    std::condition_variable m_layerEnded;
    std::atomic<bool> m_cancelled{false};
    bool m_completed = false;
    std::atomic<bool> m_failed{false};
    bool m_check = false;
    bool m_strict = false;
    bool m_rejected = false;
    std::vector<ModelFootprint> m_footprints;
    std::unique_ptr<PrintCheckFeed> m_checkFeed; // for the length of startPool
    std::vector<PrintFinding> m_findings;
    // Written once, by a pool thread under m_mutex or by the slicer thread
    // while no job runs.
    QString m_error;
};

} // namespace CWS

#pragma once

#include "geometry/Model.h"
#include "slicing/PrintCheck.h"
#include "supports/SupportGenerator.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTime>

#include <memory>
#include <vector>

class KaloConfig;
class Model;
namespace CWS {
class Slicer;
}

// The model manager's background work, one run at a time: slicing the scene
// into an archive (event "slice") or finding automatic supports (event
// "autoSupport"). A run reads the models on threads of its own, with a copy
// of the settings taken when it is prepared; the models must stay alive and
// unchanged until finished (the manager's status keeps them so). What the
// threads find arrives on the GUI thread as queued signals.
//
// Prepare, start, cancel and delete on the GUI thread. Deleting a running
// run cancels it and waits for its threads.
class SceneRun : public QObject
{
    Q_OBJECT
public:
    explicit SceneRun(QObject *parent = nullptr);
    ~SceneRun() override;

    // A run is prepared or going.
    bool running() const { return m_slicer || m_supportGenerator; }

    // Prepares slicing models (layers layers) into the archive at
    // archivePath with settings' slicing record, anti-aliasing and build
    // height.
    void prepareSlicing(const QList<Model *> &models, int layers, const QString &archivePath, KaloConfig &settings);
    // Prepares finding supports for the jobs' models, one after another,
    // with settings' support and slicing records.
    void prepareSupports(std::vector<CWS::SupportGenerator::Job> jobs, KaloConfig &settings);
    // Starts the prepared run and its clock.
    void start();
    // Stops the run: the slicer discards its archive, the support generator
    // stops before its next layer.
    void cancel();

    // How long the last run took, as a time of day; null before the first ends.
    QTime cost() const { return m_cost; }
    // Of the last slicing run: empty when it completed its archive or was
    // cancelled, else what could not be written; and whether its complete
    // archive is in place (a cancel that came too late does not change it).
    QString sliceError() const { return m_sliceError; }
    bool sliceCompleted() const { return m_sliceCompleted; }
    // The print check on the layers of the slicing runs prepared from now on
    // (see CWS::Slicer::setPrintCheck); on, not strict, at first.
    void setPrintCheck(bool on, bool strict) { m_check = on; m_strictCheck = strict; }
    // Of the last slicing run with the check: what it found, and whether the
    // strict check kept the archive from being written.
    const std::vector<CWS::PrintFinding> &findings() const { return m_findings; }
    bool rejectedByCheck() const { return m_rejectedByCheck; }
    // The support generator prepared or running, or null.
    CWS::SupportGenerator *supportGenerator() const { return m_supportGenerator.get(); }

Q_SIGNALS:
    // layersDone layers are done (of the current model, for supports).
    void progress(int layersDone, const QString &event);
    // The support generator turns to model.
    void modelStarted(Model *model);
    // A support column for model: its tip at x, y, z (mm, platform), see
    // CWS::SupportGenerator::genNewSupport.
    void supportFound(float x, float y, float z, float zbase, Model *model);
    // A tipped column for model ("Islands and overhangs").
    void supportPlaced(const CWS::SupportPlacement &placement, Model *model);
    // A region of model that needs holding but can have no column, and why.
    void supportImpossible(const CWS::UnsupportedRegion &region, Model *model);
    // The run has ended, completed, failed or cancelled; its threads are gone.
    void finished(const QString &event);

private:
    void end(const QString &event);

    std::unique_ptr<CWS::Slicer> m_slicer;
    std::unique_ptr<CWS::SupportGenerator> m_supportGenerator;
    QElapsedTimer m_timer;
    QTime m_cost;
    QString m_sliceError;
    bool m_sliceCompleted = false;
    bool m_check = true;
    bool m_strictCheck = false;
    bool m_rejectedByCheck = false;
    std::vector<CWS::PrintFinding> m_findings;
};

#pragma once

#include "settings/SliceBuildConfig.h"
#include "slicing/PrintCheck.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <vector>

class Model;

namespace CWS {
class PrintCheckRun;
}

// The print check while the user edits: each change of the scene drops the
// check going and, once no change has come for a moment, asks (due) for a
// new one, which runs on a snapshot in the background. Only the newest
// check reports (done). Layers are drawn without anti-aliasing: the same
// regions to within the grey edge pixel, at the cost of slicing without it.
// GUI thread only.
class LiveCheck : public QObject
{
    Q_OBJECT
public:
    // delayMs: the quiet time after the last change before due.
    explicit LiveCheck(int delayMs = 200, QObject *parent = nullptr);
    ~LiveCheck() override;

    // The scene may have changed: when models or config differ from what
    // the last check (going or done) read, that check is dropped and due
    // comes after the delay. Views that move no model change nothing.
    void changed(const SliceBuildConfig &config, const QList<Model *> &models);
    // Checks a snapshot of models (layers layers) unless they are what the
    // last check read.
    void start(const SliceBuildConfig &config, const QList<Model *> &models, int layers);
    // Stops the check going, if any, without waiting for it; nothing is due.
    void stop();
    bool running() const { return m_run != nullptr; }

    const std::vector<CWS::PrintFinding> &findings() const { return m_findings; }
    // Sets Model::checkMarks of each model (TYPE_NORMAL, in list order as
    // footprints index them) to its islands, overhangs and unsupported
    // regions among findings.
    // True when a mark changed.
    static bool mark(const QList<Model *> &models, const std::vector<CWS::PrintFinding> &findings);

Q_SIGNALS:
    void due();
    void done();

private:
    static std::vector<double> signature(const SliceBuildConfig &config, const QList<Model *> &models);
    void retire();

    QTimer m_timer;
    CWS::PrintCheckRun *m_run = nullptr; // the newest check, a child
    std::vector<double> m_checked;       // the signature of what it reads
    std::vector<CWS::PrintFinding> m_findings;
};

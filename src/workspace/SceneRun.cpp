#include "workspace/SceneRun.h"

#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/Slicer.h"

#include <QDebug>
#include <QThread>

namespace {
const QString sliceEvent = QStringLiteral("slice");
const QString supportEvent = QStringLiteral("autoSupport");
} // namespace

SceneRun::SceneRun(QObject *parent)
    : QObject(parent)
{
}

SceneRun::~SceneRun()
{
    // A run still going is cancelled and waited for: its jobs read the models.
    m_supportGenerator.reset();
    m_slicer.reset();
}

void SceneRun::prepareSlicing(const QList<Model *> &models, int layers, const QString &archivePath,
                              KaloConfig &settings)
{
    m_sliceError.clear();
    m_sliceCompleted = false;
    SliceBuildConfig *record = settings.buildConfig();
    record->setOutputFile(archivePath);
    m_slicer = std::make_unique<CWS::Slicer>(*record, models, layers, settings.useAntialise(),
                                             settings.antiAliseValue(), settings.buildHeightMm());
    if (m_check)
        m_slicer->setPrintCheck(m_strictCheck);
    connect(m_slicer.get(), &QThread::finished, this, [this] { end(sliceEvent); });
    connect(m_slicer.get(), &CWS::Slicer::layerWritten, this, [this](int layers) { Q_EMIT progress(layers, sliceEvent); });
}

void SceneRun::prepareSupports(std::vector<CWS::SupportGenerator::Job> jobs, KaloConfig &settings)
{
    m_supportGenerator = std::make_unique<CWS::SupportGenerator>(settings.supportConfig(), *settings.buildConfig(),
                                                                 jobs);
    CWS::SupportGenerator *generator = m_supportGenerator.get();
    const CWS::SupportConfig *supports = settings.supportConfig();
    if (supports->mode() == CWS::SupportConfig::IslandsAndOverhangs) {
        std::vector<const Model *> obstacles;
        for (const CWS::SupportGenerator::Job &job : jobs)
            obstacles.push_back(job.model);
        generator->useOverhangs(supports->shape(), std::move(obstacles));
    }
    connect(generator, &CWS::SupportGenerator::genNewSupport, this, &SceneRun::supportFound);
    connect(generator, &CWS::SupportGenerator::placeSupport, this, &SceneRun::supportPlaced);
    connect(generator, &CWS::SupportGenerator::cannotSupport, this, &SceneRun::supportImpossible);
    connect(generator, &QThread::finished, this, [this] { end(supportEvent); });
    // The selection belongs to the GUI thread: the generator only says which model is next.
    connect(generator, &CWS::SupportGenerator::modelStarted, this, &SceneRun::modelStarted);
    connect(generator, &CWS::SupportGenerator::layerDone, this,
            [this](int layers) { Q_EMIT progress(layers, supportEvent); });
}

void SceneRun::start()
{
    m_timer.start();
    if (m_slicer)
        m_slicer->start(QThread::InheritPriority);
    else if (m_supportGenerator)
        m_supportGenerator->start(QThread::InheritPriority);
}

void SceneRun::cancel()
{
    if (m_slicer)
        m_slicer->cancel();
    if (m_supportGenerator)
        m_supportGenerator->cancel();
}

void SceneRun::end(const QString &event)
{
    if (event == sliceEvent) {
        if (!m_slicer)
            return;
        m_slicer->disconnect(this);
        m_slicer->wait();
        m_sliceError = m_slicer->error();
        m_sliceCompleted = m_slicer->completed();
        m_findings = m_slicer->findings();
        m_rejectedByCheck = m_slicer->rejectedByCheck();
        m_slicer.reset();
        qDebug() << QThread::currentThreadId() << "slice thread finished";
    } else {
        qDebug() << QThread::currentThreadId() << "SupportGenerator thread finished";
        if (!m_supportGenerator)
            return;
        m_supportGenerator->disconnect(this);
        m_supportGenerator.reset();
    }
    m_cost = QTime::fromMSecsSinceStartOfDay(int(m_timer.elapsed()));
    Q_EMIT finished(event);
}

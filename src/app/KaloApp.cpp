#include "app/KaloApp.h"

#include "app/BuildHeight.h"
#include "app/PrintableArea.h"
#include "app/ProjectFile.h"
#include "io/FileIdentity.h"
#include "settings/KaloConfig.h"
#include "workspace/KaloModel.h"
#include "geometry/Model.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QQmlApplicationEngine>
#include <QThread>

#include <algorithm>

namespace {

KaloApp *g_instance = nullptr;

// The project's web pages behind the link keys of the user interface. The
// first entry is the home page, also opened for unknown keys. Packagers
// point these at their own pages.
struct ProjectLink
{
    const char *key;
    const char *address;
};
constexpr ProjectLink projectLinks[] = {
    {"main", "https://kalo3d.example.org/"},
    {"buy", "https://kalo3d.example.org/shop"},
    {"readme", "https://kalo3d.example.org/help"},
    {"download", "https://kalo3d.example.org/download"},
};

constexpr int recentFilesKept = 8;
const QString recentFilesKey = QStringLiteral("recentFiles");

// The print settings of a project in a sentence: printer, resin, layers,
// exposures, anti-aliasing and lift.
QString describe(const QJsonObject &settings, const QStringList &resins)
{
    const auto value = [&](const char *key) { return settings.value(QLatin1String(key)).toDouble(); };
    return KaloApp::tr("%1, %2, %3 mm layers, %4 bottom layers at %5 s, %6 s per layer, anti-aliasing %7, "
                       "lift %8 mm")
        .arg(settings.value(QLatin1String("printer")).toString(),
             resins.value(settings.value(QLatin1String("resinIndex")).toInt()))
        .arg(value("thicknessUM") / 1000)
        .arg(value("bottomLayerNum"))
        .arg(value("bottomExpoMS") / 1000)
        .arg(value("normalExpoMS") / 1000)
        .arg(settings.value(QLatin1String("useAntialise")).toBool()
                 ? KaloApp::tr("x%1").arg(value("antiAliseValue"))
                 : KaloApp::tr("off"))
        .arg(value("liftHeight"));
}

} // namespace

KaloApp::KaloApp(QObject *parent)
    : QObject(parent)
{
    g_instance = this;
}

KaloApp::~KaloApp()
{
    qDebug() << QThread::currentThreadId() << "KaloApp::~KaloApp()";
    if (g_instance == this)
        g_instance = nullptr;
}

KaloApp *KaloApp::instance()
{
    return g_instance;
}

QString KaloApp::heightWarning() const
{
    const KaloModel *manager = KaloModel::instance();
    const KaloConfig *settings = KaloConfig::instance();
    const QStringList tall = manager ? BuildHeight::modelsAbove(manager->models(), settings->buildHeightMm())
                                     : QStringList();
    if (tall.isEmpty())
        return QString();
    return tr("The printer %1 builds up to %2 mm, and this reaches above: %3. Its top will not be printed.")
        .arg(settings->printer().name)
        .arg(settings->buildHeightMm())
        .arg(tall.join(QStringLiteral(", ")));
}

QString KaloApp::sliceWarning() const
{
    QStringList paragraphs;
    if (const KaloModel *manager = KaloModel::instance()) {
        const QString outside = PrintableArea::warning(manager->models(), *KaloConfig::instance()->buildConfig());
        if (!outside.isEmpty())
            paragraphs << outside + QLatin1Char('.');
    }
    const QString tall = heightWarning();
    if (!tall.isEmpty())
        paragraphs << tall;
    return paragraphs.join(QStringLiteral("\n\n"));
}

QString KaloApp::cwsFilePath() const
{
    return QDir::toNativeSeparators(m_cwsFileUrl.toLocalFile());
}

void KaloApp::openFolder(const QString &file)
{
    const QString folder = QFileInfo(file).absolutePath();
    qDebug() << "open folder" << folder;
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool KaloApp::setCwsFile(const QUrl &file)
{
    qDebug() << QThread::currentThreadId() << "KaloApp::setCwsFile " << file;
    const QString input = inputAt(file.toLocalFile(), true);
    if (!input.isEmpty()) {
        showCriticalMsgBox(tr("The print file %1 is the file %2 was read from: slicing into it would destroy it. "
                              "Choose another name.")
                               .arg(QDir::toNativeSeparators(file.toLocalFile()), QDir::toNativeSeparators(input)));
        return false;
    }
    m_cwsFileUrl = file;
    Q_EMIT readyToSlice();
    return true;
}

QString KaloApp::inputAt(const QString &path, bool withProject) const
{
    if (path.isEmpty())
        return QString();
    if (withProject && !prjFile().isEmpty() && FileIdentity::same(path, prjFile()))
        return prjFile();
    if (const KaloModel *manager = KaloModel::instance()) {
        for (const Model *model : manager->models()) {
            const QString source = model->url.toLocalFile();
            if (!source.isEmpty() && FileIdentity::same(path, source))
                return source;
        }
    }
    return QString();
}

void KaloApp::open(const QUrl &url)
{
    qDebug() << QThread::currentThreadId() << "KaloApp::Open() " << url;
    // Decoded and lower-cased, so "%2Ekalo3d" and "JOB.KALO3D" are projects too.
    const QString fileName = url.fileName(QUrl::FullyDecoded).toLower();
    if (fileName.endsWith(QLatin1String(".kalo3d"))) {
        loadPrj(url);
        return;
    }
    // The view repaints when the model arrives (kaloModelDataChanged).
    KaloModel *manager = KaloModel::instance();
    if (manager && manager->loadModel(url))
        remember(url.toLocalFile());
}

void KaloApp::importFile(const QUrl &url)
{
    KaloModel *manager = KaloModel::instance();
    if (url.fileName(QUrl::FullyDecoded).toLower().endsWith(QLatin1String(".kalo3d")))
        loadPrj(url, false);
    else if (manager && manager->loadModel(url))
        remember(url.toLocalFile());
}

void KaloApp::newPrj()
{
    qDebug() << "KaloApp::newPrj()";
    KaloModel *manager = KaloModel::instance();
    if (!manager || !manager->newScene())
        return;
    setPrjFileUrl(QUrl());
}

bool KaloApp::savePrj()
{
    qDebug() << "KaloApp::savePrj()" << m_prjFileUrl;
    const QString path = prjFile();
    KaloModel *manager = KaloModel::instance();
    if (path.isEmpty() || !manager) {
        qDebug() << "no project file name";
        return false;
    }
    QString problem;
    const QString input = inputAt(path, false);
    if (!input.isEmpty())
        problem = tr("it is the file the model %1 was read from").arg(QDir::toNativeSeparators(input));
    if (!problem.isEmpty()
        || !ProjectFile::save(path, manager->models(), &problem, KaloConfig::instance()->printSettings())) {
        showCriticalMsgBox(tr("Cannot save the project file %1: %2").arg(QDir::toNativeSeparators(path), problem));
        return false;
    }
    manager->markSaved();
    remember(path);
    return true;
}

bool KaloApp::loadPrj(const QUrl &url, bool replace)
{
    qDebug() << "KaloApp::loadPrj()" << url;
    KaloModel *manager = KaloModel::instance();
    if (!manager)
        return false;
    const QString path = url.toLocalFile();
    const bool wasEmpty = manager->models().isEmpty();
    QString problem;
    QJsonObject settings;
    if (!ProjectFile::load(path, *manager, &problem, replace, &settings)) {
        showCriticalMsgBox(tr("Cannot open the project file %1: %2").arg(QDir::toNativeSeparators(path), problem));
        return false;
    }
    if (replace) {
        manager->markSaved();
        setPrjFileUrl(url);
    }
    remember(path);
    KaloConfig *config = KaloConfig::instance();
    if (settings.isEmpty() || settings == config->printSettings())
        return true;
    // Into an empty scene the project brings how it is to be printed; a
    // scene that was already there may have been set up for other settings.
    if (wasEmpty) {
        usePrintSettings(settings);
    } else {
        m_offeredSettings = settings;
        Q_EMIT printSettingsOffered(describe(settings, config->resinTypes()));
    }
    return true;
}

void KaloApp::usePrjSettings()
{
    usePrintSettings(m_offeredSettings);
    m_offeredSettings = QJsonObject();
}

void KaloApp::usePrintSettings(const QJsonObject &settings)
{
    KaloConfig *config = KaloConfig::instance();
    if (!config->usePrintSettings(settings)) {
        showCriticalMsgBox(tr("The project was prepared for the printer %1, which is not known here; "
                              "the print settings stay as they are.")
                               .arg(settings.value(QLatin1String("printer")).toString()));
        return;
    }
    config->save();
}

QStringList KaloApp::recentFiles() const
{
    QStringList files = QSettings().value(recentFilesKey).toStringList();
    files.erase(std::remove_if(files.begin(), files.end(), [](const QString &file) { return !QFile::exists(file); }),
                files.end());
    return files;
}

void KaloApp::remember(const QString &path)
{
    if (path.isEmpty())
        return;
    QStringList files = recentFiles();
    const QString file = QFileInfo(path).absoluteFilePath();
    files.removeAll(file);
    files.prepend(file);
    QSettings().setValue(recentFilesKey, QStringList(files.mid(0, recentFilesKept)));
    Q_EMIT recentFilesChanged();
}

void KaloApp::openKalo3DLink(const QString &key)
{
    const ProjectLink *link = &projectLinks[0];
    for (const ProjectLink &candidate : projectLinks) {
        if (key == QLatin1String(candidate.key))
            link = &candidate;
    }
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(link->address)));
}

void KaloApp::openLink(const QString &link)
{
    QDesktopServices::openUrl(QUrl(link));
}

void KaloApp::openRadomQueryLink()
{
}

QString KaloApp::version()
{
    return QCoreApplication::applicationVersion();
}

QString KaloApp::bitInfo()
{
    return QStringLiteral("64-bit");
}

QString KaloApp::prjFile() const
{
    return m_prjFileUrl.toLocalFile();
}

void KaloApp::setPrjFile(const QString &file)
{
    if (file == prjFile())
        return;
    // A bare name like "job.kalo3d" is a file here, never a web address.
    m_prjFileUrl = QUrl::fromUserInput(file, QDir::currentPath(), QUrl::AssumeLocalFile);
    Q_EMIT prjFileChanged();
}

void KaloApp::setPrjFileUrl(const QUrl &url)
{
    // Announced, so that whatever shows the project's name follows a load.
    if (url == m_prjFileUrl)
        return;
    m_prjFileUrl = url;
    Q_EMIT prjFileChanged();
}

void KaloApp::showCriticalMsgBox(const QString &message)
{
    if (!m_engine || m_engine->rootObjects().isEmpty()) {
        qCritical() << "no main window for message:" << message;
        return;
    }
    // Queued when called from a worker thread: the window belongs to the GUI thread.
    QMetaObject::invokeMethod(m_engine->rootObjects().first(), "showCriticalMsgBox", Qt::AutoConnection,
                              Q_ARG(QVariant, QVariant(message)));
}

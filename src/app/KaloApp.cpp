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
#include <QFileInfo>
#include <QQmlApplicationEngine>
#include <QThread>

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
    if (KaloModel *manager = KaloModel::instance())
        manager->loadModel(url);
}

void KaloApp::importFile(const QUrl &url)
{
    if (url.fileName(QUrl::FullyDecoded).toLower().endsWith(QLatin1String(".kalo3d")))
        loadPrj(url, false);
    else if (KaloModel *manager = KaloModel::instance())
        manager->loadModel(url);
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
    if (!problem.isEmpty() || !ProjectFile::save(path, manager->models(), &problem)) {
        showCriticalMsgBox(tr("Cannot save the project file %1: %2").arg(QDir::toNativeSeparators(path), problem));
        return false;
    }
    manager->markSaved();
    return true;
}

bool KaloApp::loadPrj(const QUrl &url, bool replace)
{
    qDebug() << "KaloApp::loadPrj()" << url;
    KaloModel *manager = KaloModel::instance();
    if (!manager)
        return false;
    const QString path = url.toLocalFile();
    QString problem;
    if (!ProjectFile::load(path, *manager, &problem, replace)) {
        showCriticalMsgBox(tr("Cannot open the project file %1: %2").arg(QDir::toNativeSeparators(path), problem));
        return false;
    }
    if (replace) {
        manager->markSaved();
        setPrjFileUrl(url);
    }
    return true;
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

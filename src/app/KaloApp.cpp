#include "app/KaloApp.h"

#include "app/ProjectFile.h"
#include "workspace/KaloModel.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
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

void KaloApp::setCwsFile(const QUrl &file)
{
    qDebug() << QThread::currentThreadId() << "KaloApp::setCwsFile " << file;
    m_cwsFileUrl = file;
    Q_EMIT readyToSlice();
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
    if (!ProjectFile::save(path, manager->models(), &problem)) {
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

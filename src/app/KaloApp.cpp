#include "app/KaloApp.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QQmlApplicationEngine>
#include <QThread>

namespace {
KaloApp *g_instance = nullptr;
}

KaloApp::KaloApp(QObject *parent)
    : QObject(parent)
    , m_device(std::make_unique<DeviceDescriptor>())
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

void KaloApp::newPrj()
{
    qDebug() << "KaloApp::newPrj()";
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
    m_prjFileUrl = QUrl::fromUserInput(file);
    Q_EMIT prjFileChanged();
}

void KaloApp::showCriticalMsgBox(const QString &message)
{
    if (!m_engine || m_engine->rootObjects().isEmpty()) {
        qCritical() << "no main window for message:" << message;
        return;
    }
    QMetaObject::invokeMethod(m_engine->rootObjects().first(), "showCriticalMsgBox",
                              Q_ARG(QVariant, QVariant(message)));
}

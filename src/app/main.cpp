#include "app/CommandLine.h"
#include "app/KaloApp.h"
#include "app/Logger.h"
#include "app/Startup.h"
#include "settings/KaloConfig.h"

#include <QDebug>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QQmlApplicationEngine>
#include <QScreen>
#include <QThread>
#include <QTranslator>

#include <csignal>

int main(int argc, char *argv[])
{
    // Past a file-size limit (ulimit -f) a write is to fail with EFBIG, as
    // on a full disk, and be reported, not kill the program with the work.
    std::signal(SIGXFSZ, SIG_IGN);
    Logger logger;
    logger.start();
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3").arg(1).arg(2).arg(8));
    Startup::setOrganization();

    QTranslator translator;
    const QStringList uiLanguages = QLocale::system().uiLanguages();
    qDebug() << "local uiLanguages: " << uiLanguages;
    const QString translation = Startup::translationFileName(uiLanguages);
    if (!translation.isEmpty()
        && translator.load(translation, QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
        const bool installed = QCoreApplication::installTranslator(&translator);
        qDebug() << "installTranslator" << translation << installed;
    }

    for (const QScreen *screen : QGuiApplication::screens()) {
        qDebug() << "dpi: " << screen->logicalDotsPerInch() << screen->devicePixelRatio()
                 << screen->physicalDotsPerInch();
    }

    KaloApp kaloApp;
    KaloConfig kaloConfig;
    qDebug() << QThread::currentThreadId() << "main" << QThread::idealThreadCount();

    Startup::registerQmlTypes();

    QQmlApplicationEngine engine;
    Startup::setContextProperties(engine, kaloApp, kaloConfig);
    kaloApp.setEngine(&engine);

    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
    if (engine.rootObjects().isEmpty())
        return -1;
    if (!Startup::findSceneItem(engine)) {
        qDebug() << "no KaloScene object found";
        return -2;
    }

    Startup::connectSignals(kaloApp);

    // Files handed over by the desktop (a desktop entry's %F) or typed after
    // the program name open as if dropped on the view.
    for (const QString &argument : QCoreApplication::arguments().mid(1))
        kaloApp.open(CommandLine::fileUrl(argument));

    return QGuiApplication::exec();
}

#include "app/KaloApp.h"
#include "app/Startup.h"
#include "settings/KaloConfig.h"
#include "view/KaloScene.h"
#include "workspace/KaloModel.h"

#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>

#include <memory>
#include <thread>

class TstMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Startup::registerQmlTypes(); }
    void windowShowsSceneAndModelManager();
    void criticalMessageFromAnotherThread();
    void applicationKeepsRunningUntilClosed();
};

void TstMainWindow::windowShowsSceneAndModelManager()
{
    KaloApp app;
    KaloConfig config;
    auto engine = std::make_unique<QQmlApplicationEngine>();
    Startup::setContextProperties(*engine, app, config);
    engine->load(QUrl(QStringLiteral("qrc:/main.qml")));

    QVERIFY2(!engine->rootObjects().isEmpty(), "main.qml loads from the resources");
    auto *window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
    QVERIFY2(window, "the main document is a window");
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY2(Startup::findSceneItem(*engine), "the 3D view item is found by name");
    QCOMPARE(Startup::findSceneItem(*engine), KaloScene::instance());
    QVERIFY2(KaloModel::instance(), "the main window creates the model manager");

    window->close();
    QVERIFY2(!window->isVisible(), "closing hides the main window");

    engine.reset();
    QCOMPARE(KaloModel::instance(), nullptr);
    QCOMPARE(KaloScene::instance(), nullptr);
}

void TstMainWindow::criticalMessageFromAnotherThread()
{
    KaloApp app;
    KaloConfig config;
    QQmlApplicationEngine engine;
    Startup::setContextProperties(engine, app, config);
    app.setEngine(&engine);
    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
    QVERIFY(!engine.rootObjects().isEmpty());

    std::thread worker([&app] { app.showCriticalMsgBox(QStringLiteral("load model failed!")); });
    worker.join();

    QObject *box = engine.rootObjects().first()->findChild<QObject *>(QStringLiteral("criticalMsgBox"));
    QVERIFY(box);
    QTRY_COMPARE(box->property("text").toString(), QStringLiteral("load model failed!"));
    QTRY_VERIFY2(box->property("visible").toBool(), "the message box opens");
}

void TstMainWindow::applicationKeepsRunningUntilClosed()
{
    QTemporaryDir workDir;
    QProcess app;
    app.setWorkingDirectory(workDir.path());
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(QStringLiteral(KALO3D_EXECUTABLE), QStringList());
    QVERIFY2(app.waitForStarted(), "the application starts");

    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += app.readAll()).contains("KaloScene construct"), 20000);
    QVERIFY2(!app.waitForFinished(2000), output.constData());
    QCOMPARE(app.state(), QProcess::Running);
    QVERIFY2(!output.contains("no KaloScene object found"), output.constData());
    QVERIFY2(!output.contains("qrc:/main.qml"), "main.qml loads without warnings");

    app.terminate();
    QVERIFY(app.waitForFinished(10000));
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow_gui.moc"

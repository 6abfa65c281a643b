#include "app/KaloApp.h"
#include "common/StlWriter.h"
#include "common/TestMeshes.h"
#include "workspace/KaloModel.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QQmlApplicationEngine>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace {

// Every log line of the program, so that a test can tell which way open() went.
QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_log.append(message);
    g_previousHandler(type, context, message);
}

bool logged(const QString &text)
{
    for (const QString &line : qAsConst(g_log)) {
        if (line.contains(text))
            return true;
    }
    return false;
}

} // namespace

class TstKaloApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void openRoutesByName_data();
    void openRoutesByName();
    void prjFileAnnouncesChanges_data();
    void prjFileAnnouncesChanges();
    void bareNameIsAFileInTheWorkingDirectory();
    void cwsFileStartsSlicing_data();
    void cwsFileStartsSlicing();
    void criticalMessageFromWorkerThread();
    void recentFilesKeepTheLastEight();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<KaloApp> m_app;
    std::unique_ptr<KaloModel> m_manager;
};

void TstKaloApp::initTestCase()
{
    // The recent files live in the user's settings.
    QStandardPaths::setTestModeEnabled(true);
}

void TstKaloApp::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_app = std::make_unique<KaloApp>();
    m_manager = std::make_unique<KaloModel>();
    g_log.clear();
    g_previousHandler = qInstallMessageHandler(recordMessage);
}

void TstKaloApp::cleanup()
{
    qInstallMessageHandler(g_previousHandler);
    m_manager.reset();
    m_app.reset();
    m_dir.reset();
}

void TstKaloApp::openRoutesByName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("asProject");
    QTest::newRow("project") << "job.kalo3d" << true;
    QTest::newRow("project, upper case") << "JOB.KALO3D" << true;
    QTest::newRow("model") << "cube.stl" << false;
    QTest::newRow("model named like a project") << "a.kalo3d.stl" << false;
}

void TstKaloApp::openRoutesByName()
{
    QFETCH(QString, fileName);
    QFETCH(bool, asProject);
    // Every file holds a good STL: only the name may decide the route.
    const QString path = m_dir->filePath(fileName);
    QVERIFY(StlWriter::write(path, TestMeshes::cube(10), StlWriter::Binary));

    m_app->open(QUrl::fromLocalFile(path));

    QCOMPARE(logged("KaloApp::loadPrj()"), asProject);
    QCOMPARE(logged("KaloModel::loadModel"), !asProject);
    QCOMPARE(m_manager->models().size(), asProject ? 0 : 1);
}

void TstKaloApp::prjFileAnnouncesChanges_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("announcements");
    QTest::newRow("same path twice") << "/tmp/job.kalo3d" << "/tmp/job.kalo3d" << 1;
    QTest::newRow("file URL, then its path") << "file:///tmp/job.kalo3d" << "/tmp/job.kalo3d" << 1;
    QTest::newRow("two files") << "/tmp/job.kalo3d" << "/tmp/other.kalo3d" << 2;
}

void TstKaloApp::bareNameIsAFileInTheWorkingDirectory()
{
    m_app->setProperty("prjFile", QStringLiteral("job.kalo3d"));
    QCOMPARE(m_app->property("prjFile").toString(), QDir::current().absoluteFilePath(QStringLiteral("job.kalo3d")));
}

void TstKaloApp::prjFileAnnouncesChanges()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, announcements);
    QSignalSpy changed(m_app.get(), &KaloApp::prjFileChanged);

    m_app->setProperty("prjFile", first);
    m_app->setProperty("prjFile", second);

    QCOMPARE(changed.size(), announcements);
    QCOMPARE(m_app->property("prjFile").toString(), second);
}

void TstKaloApp::cwsFileStartsSlicing_data()
{
    // target: the archive's name in the test's folder, which holds the
    // model "cube.stl" the scene was read from, a hard link "twin.stl" to
    // it, and the project "job.kalo3d" the scene was saved as.
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("starts");
    QTest::newRow("a new file") << "print.cws" << true;
    QTest::newRow("the model's file") << "cube.stl" << false;
    QTest::newRow("a hard link to the model's file") << "twin.stl" << false;
    QTest::newRow("the project file") << "job.kalo3d" << false;
}

void TstKaloApp::cwsFileStartsSlicing()
{
    QFETCH(QString, target);
    QFETCH(bool, starts);
    const QString model = m_dir->filePath("cube.stl");
    QVERIFY(StlWriter::write(model, TestMeshes::cube(10), StlWriter::Binary));
    QVERIFY(QFile::link(model, m_dir->filePath("link.stl")));
    QVERIFY(::link(QFile::encodeName(model).constData(), QFile::encodeName(m_dir->filePath("twin.stl")).constData()) == 0);
    m_app->open(QUrl::fromLocalFile(m_dir->filePath("link.stl")));
    QCOMPARE(m_manager->models().size(), 1);
    m_app->setPrjFile(m_dir->filePath("job.kalo3d"));
    QVERIFY(m_app->savePrj());
    QSignalSpy ready(m_app.get(), &KaloApp::readyToSlice);
    const QUrl url = QUrl::fromLocalFile(m_dir->filePath(target));

    QCOMPARE(m_app->setCwsFile(url), starts);

    QCOMPARE(ready.size(), starts ? 1 : 0);
    if (starts) {
        QCOMPARE(m_app->cwsFileUrl(), url);
    } else {
        QVERIFY2(logged("slicing into it would destroy it"), "the user is told why nothing is sliced");
        QVERIFY2(m_app->cwsFileUrl().isEmpty(), "no archive is recorded");
    }
    // Saving the project over the model's file is refused the same way.
    m_app->setPrjFile(m_dir->filePath("twin.stl"));
    QVERIFY2(!m_app->savePrj(), "a project is not saved over the model's file");
    QCOMPARE(QFileInfo(model).size(), qint64(84 + 12 * 50));
}

void TstKaloApp::criticalMessageFromWorkerThread()
{
    QQmlApplicationEngine engine;
    engine.loadData(R"(
import QtQml 2.2
QtObject {
    property string shown: ""
    function showCriticalMsgBox(message) { shown = message }
}
)");
    QVERIFY(!engine.rootObjects().isEmpty());
    m_app->setEngine(&engine);

    std::unique_ptr<QThread> worker(QThread::create([this] { m_app->showCriticalMsgBox("disk full"); }));
    worker->start();
    QVERIFY(worker->wait(5000));
    QTRY_COMPARE(engine.rootObjects().first()->property("shown").toString(), QStringLiteral("disk full"));
}

QTEST_MAIN(TstKaloApp)
#include "tst_kaloapp.moc"

void TstKaloApp::recentFilesKeepTheLastEight()
{
    QSettings().remove(QStringLiteral("recentFiles"));
    QSignalSpy changed(m_app.get(), &KaloApp::recentFilesChanged);
    QStringList models;
    for (int i = 0; i < 10; ++i) {
        models.append(m_dir->filePath(QStringLiteral("cube%1.stl").arg(i)));
        QVERIFY(StlWriter::write(models.last(), TestMeshes::cube(5), StlWriter::Binary));
        m_app->open(QUrl::fromLocalFile(models.last()));
    }
    const QString broken = m_dir->filePath(QStringLiteral("broken.stl"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a mesh") > 0);
    file.close();
    m_app->open(QUrl::fromLocalFile(broken));
    m_app->importFile(QUrl::fromLocalFile(models[3]));
    QFile::remove(models[8]);

    QCOMPARE(changed.size(), 11);
    // Newest first; a file opened again moves up; what failed to load or has
    // gone from disk is not offered.
    QCOMPARE(m_app->recentFiles(), (QStringList{models[3], models[9], models[7], models[6], models[5], models[4],
                                                models[2]}));
}

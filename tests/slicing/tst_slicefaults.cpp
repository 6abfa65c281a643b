#include "app/KaloApp.h"
#include "app/Startup.h"
#include "common/StlWriter.h"
#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/HappensBefore.h"
#include "slicing/Slicer.h"
#include "workspace/KaloModel.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <quazip.h>
#include <quazipfile.h>

#include <csignal>
#include <functional>
#include <memory>

#include <sys/resource.h>
#include <unistd.h>

// Faults while the print archive is written: a cancel at any moment, a full
// disk (a file-size limit), the output folder removed during the run. None
// may leave half an archive where the printer would take it, report success,
// or cost the user the archive that was there before.

namespace {

// An archive holding every layer of a run and its G-code, last.
bool isComplete(const QString &path, const QString &base, int layers)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdUnzip))
        return false;
    QStringList names;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::ReadOnly) || file.readAll().isEmpty())
            return false;
        file.close();
        if (file.getZipError() != UNZ_OK)
            return false;
        names << zip.getCurrentFileName();
    }
    return names.size() == layers + 1 && names.last() == base + QStringLiteral(".gcode")
           && names.filter(QRegularExpression(QStringLiteral("^") + base + QStringLiteral("\\d+\\.png$"))).size()
                  == layers;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file in folder, hidden ones too: a run must leave no temporary file.
QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// What the user was shown: without a main window the message box request
// ends in a critical log line.
QStringList g_criticals;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtCriticalMsg)
        g_criticals << message;
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_previousHandler(type, context, message);
}

// Writes past limit bytes fail with EFBIG, as on a full disk, until the end
// of the scope. SIGXFSZ is ignored meanwhile, as the application does.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

// A child process whose writes past limit bytes fail with EFBIG; SIGXFSZ,
// which would end it instead, is left for the tool to ignore itself.
class LimitedProcess : public QProcess
{
public:
    explicit LimitedProcess(rlim_t limit)
        : m_limit(limit)
    {
    }

protected:
    void setupChildProcess() override
    {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit lowered{m_limit, m_limit};
        setrlimit(RLIMIT_FSIZE, &lowered);
    }

private:
    rlim_t m_limit;
};

struct Report
{
    float ratio;
    bool cancled;
};

const QByteArray kPreviousArchive = "the archive of an earlier run";

bool writePreviousArchive(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(kPreviousArchive) == kPreviousArchive.size();
}

// Takes away the right to make files in folder while file in it stays
// writable, until the end of the scope. Root, whom no permission stops,
// acts as the user nobody meanwhile; top is the temporary folder holding
// folder, opened for nobody to reach it.
class ClosedFolder
{
public:
    ClosedFolder(const QString &top, const QString &folder, const QString &file)
        : m_folder(folder)
        , m_root(::geteuid() == 0)
    {
        const QFileDevice::Permissions open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                              | QFile::ReadOther | QFile::ExeOther;
        if (m_root) {
            QFile::setPermissions(top, open);
            QFile::setPermissions(folder, open);
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther);
            if (::setegid(65534) != 0 || ::seteuid(65534) != 0)
                qWarning() << "cannot act as nobody";
        } else {
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        }
    }
    ~ClosedFolder()
    {
        if (m_root) {
            if (::seteuid(0) != 0 || ::setegid(0) != 0)
                qWarning() << "cannot act as root again";
        } else {
            QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }

private:
    QString m_folder;
    bool m_root;
};

} // namespace

class TstSliceFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void cancelAtAnyMoment_data();
    void cancelAtAnyMoment();
    void cancelAtAMillionLayers();
    void cancelOnThePoolThread_data();
    void cancelOnThePoolThread();
    void diskFullLeavesNoArchive_data();
    void diskFullLeavesNoArchive();
    void folderClosedToNewFiles_data();
    void folderClosedToNewFiles();
    void outputFolderRemoved_data();
    void outputFolderRemoved();
    void commandLineAtAnyFileSizeLimit_data();
    void commandLineAtAnyFileSizeLimit();

private:
    // Starts slicing into path and waits for the end report; onReport runs
    // at every report with its number (1, 2, ...), the end report included.
    QList<Report> slice(const QString &path, const std::function<void(int)> &onReport = {});
    // The scene slices again, completely, into path.
    void slicesAgain(const QString &path);
    void addCube(float edge) { m_manager->addModel(TestMeshes::makeModel(TestMeshes::cube(edge))); }

    QTemporaryDir m_dir;
    std::unique_ptr<KaloApp> m_app;
    std::unique_ptr<KaloModel> m_manager;
};

void TstSliceFaults::initTestCase()
{
    QVERIFY(m_dir.isValid());
    KaloConfig::instance();
}

void TstSliceFaults::init()
{
    KaloConfig *settings = KaloConfig::instance();
    settings->useAntialise(false);
    SliceBuildConfig *config = settings->buildConfig();
    config->pixelsPerMmX = config->pixelsPerMmY = 21.164021;
    config->resolutionX = 1375;
    config->resolutionY = 2455;
    config->layerThickness = 0.01f;
    m_app = std::make_unique<KaloApp>();
    m_manager = std::make_unique<KaloModel>();
    Startup::connectModelManager(*m_app, *m_manager);
    g_criticals.clear();
    g_previousHandler = qInstallMessageHandler(recordMessage);
}

void TstSliceFaults::cleanup()
{
    qInstallMessageHandler(g_previousHandler);
    m_manager.reset();
    m_app.reset();
}

QList<Report> TstSliceFaults::slice(const QString &path, const std::function<void(int)> &onReport)
{
    QList<Report> reports;
    QSignalSpy spy(m_manager.get(), &KaloModel::sliceCompletedProgress);
    m_manager->sliceTo(path);
    while (reports.isEmpty() || reports.last().ratio <= 1) {
        if (spy.isEmpty() && !spy.wait(120000))
            break;
        const QList<QVariant> report = spy.takeFirst();
        reports.append({report.at(0).toFloat(), report.at(1).toBool()});
        if (onReport)
            onReport(reports.size());
    }
    return reports;
}

void TstSliceFaults::slicesAgain(const QString &path)
{
    KaloConfig::instance()->buildConfig()->layerThickness = 1.0f;
    g_criticals.clear();
    const QList<Report> reports = slice(path);
    QVERIFY2(!reports.isEmpty() && reports.last().ratio > 1 && !reports.last().cancled,
             "the next run completes");
    QVERIFY2(m_manager->sliceError().isEmpty() && g_criticals.isEmpty(), "the next run reports no failure");
    const QString base = QFileInfo(path).completeBaseName();
    QVERIFY2(isComplete(path, base, m_manager->sliceNumber()), "the next run leaves its whole archive");
    QCOMPARE(filesIn(QFileInfo(path).path()), QStringList{QFileInfo(path).fileName()});
}

void TstSliceFaults::cancelAtAnyMoment_data()
{
    // cancelAt: the progress report at which the user cancels; 0 right as
    // the run starts, -1 after its end report.
    QTest::addColumn<int>("cancelAt");
    QTest::addColumn<bool>("twice");
    QTest::addColumn<bool>("previous"); // an archive of the same name exists
    QTest::addColumn<float>("edge");    // of the cube sliced (mm)
    QTest::addColumn<float>("thickness"); // mm
    // 4000 anti-aliased layers of a 40 mm cube take many times longer than
    // a report takes to reach the GUI thread, even on a busy machine.
    QTest::newRow("before the first layer") << 0 << false << true << 40.0f << 0.01f;
    QTest::newRow("after one layer") << 1 << false << false << 40.0f << 0.01f;
    QTest::newRow("after one layer, previous archive") << 1 << false << true << 40.0f << 0.01f;
    QTest::newRow("mid-run") << 300 << false << true << 40.0f << 0.01f;
    QTest::newRow("twice") << 2 << true << false << 40.0f << 0.01f;
    // The last layer may already be in, the archive being closed.
    QTest::newRow("at the last progress report") << 999 << false << true << 10.0f << 0.01f;
    QTest::newRow("after the end") << -1 << false << true << 10.0f << 0.1f;
}

void TstSliceFaults::cancelAtAnyMoment()
{
    QFETCH(int, cancelAt);
    QFETCH(bool, twice);
    QFETCH(bool, previous);
    QFETCH(float, edge);
    QFETCH(float, thickness);
    const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/job.cws");
    if (previous)
        QVERIFY(writePreviousArchive(path));
    addCube(edge);
    KaloConfig::instance()->useAntialise(true);
    KaloConfig::instance()->buildConfig()->layerThickness = thickness;

    QList<Report> reports;
    if (cancelAt == 0) {
        m_manager->sliceTo(path);
        m_manager->cancleSlice();
        QSignalSpy spy(m_manager.get(), &KaloModel::sliceCompletedProgress);
        while (spy.isEmpty() || spy.last().at(0).toFloat() <= 1)
            QVERIFY2(spy.wait(120000), "the run ends with a report");
        reports.append({spy.last().at(0).toFloat(), spy.last().at(1).toBool()});
    } else {
        reports = slice(path, [&](int report) {
            if (report == cancelAt || (twice && report == cancelAt + 1))
                m_manager->cancleSlice();
        });
    }
    if (cancelAt < 0)
        m_manager->cancleSlice();

    QVERIFY2(!reports.isEmpty() && reports.last().ratio > 1, "the run ends with its end report");
    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
    QVERIFY2(m_manager->sliceError().isEmpty() && g_criticals.isEmpty(),
             qPrintable("a cancel is no failure: no message, got " + g_criticals.join(" | ")));
    if (cancelAt < 0) {
        QVERIFY2(!reports.last().cancled, "the run completed before the cancel");
        QVERIFY2(isComplete(path, QStringLiteral("job"), 100), "a cancel after the end leaves the archive");
    } else {
        QVERIFY2(reports.last().cancled, "the end report says cancelled: no completion dialog");
        // A cancel that met the archive while it was closed finds it whole;
        // anything earlier leaves what was there before.
        const bool completed = cancelAt == 999 && isComplete(path, QStringLiteral("job"), 1000);
        if (!completed) {
            QVERIFY2(QFile::exists(path) == previous, "no half archive is left where the printer would take it");
            QVERIFY2(!previous || fileBytes(path) == kPreviousArchive, "the earlier archive survives the cancel");
        }
    }
    QCOMPARE(filesIn(folder), QFile::exists(path) ? QStringList{QStringLiteral("job.cws")} : QStringList{});

    slicesAgain(path);
}

void TstSliceFaults::cancelAtAMillionLayers()
{
    // A 10 m column at 10 um: the run must be under way at once and stop
    // soon after the cancel, however many layers are still to come.
    const QString path = m_dir.filePath(QStringLiteral("million.cws"));
    QVERIFY(writePreviousArchive(path));
    m_manager->addModel(TestMeshes::makeModel(TestMeshes::box({-0.5f, -0.5f, 0}, {0.5f, 0.5f, 10000})));
    KaloConfig::instance()->buildConfig()->layerThickness = 0.01f;

    QSignalSpy spy(m_manager.get(), &KaloModel::sliceCompletedProgress);
    m_manager->sliceTo(path);
    QVERIFY2(spy.wait(20000), "the first layers are done while the rest wait their turn");
    QCOMPARE(m_manager->sliceCount(), 1000000);
    QElapsedTimer timer;
    timer.start();
    m_manager->cancleSlice();
    while (spy.isEmpty() || spy.last().at(0).toFloat() <= 1)
        QVERIFY2(spy.wait(20000), "the run ends");
    // 0.5 s on an idle machine; the bound leaves room for a busy one.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QStringLiteral("the run ended %1 ms after the cancel").arg(timer.elapsed())));
    QCOMPARE(fileBytes(path), kPreviousArchive);
}

void TstSliceFaults::cancelOnThePoolThread_data()
{
    // cancelAt: the layer count written when the cancel comes; the last one
    // is just before the G-code is written and the archive closed.
    QTest::addColumn<int>("cancelAt");
    QTest::newRow("first layer") << 1;
    QTest::newRow("last layer") << 40;
}

void TstSliceFaults::cancelOnThePoolThread()
{
    QFETCH(int, cancelAt);
    const QString folder = m_dir.filePath(QStringLiteral("pool-%1").arg(cancelAt));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/job.cws");
    QVERIFY(writePreviousArchive(path));
    addCube(10);
    KaloConfig::instance()->buildConfig()->layerThickness = 0.25f;
    SliceBuildConfig config = *KaloConfig::instance()->buildConfig();
    config.setOutputFile(path);
    const int layers = m_manager->calcNumSlices();
    QCOMPARE(layers, 40);

    const KaloConfig *settings = KaloConfig::instance();
    CWS::Slicer slicer(config, m_manager->models(), layers, settings->useAntialise(), settings->antiAliseValue(),
                       settings->buildHeightMm());
    // Direct: the cancel comes on the pool thread that has just stored the layer.
    connect(&slicer, &CWS::Slicer::layerWritten, &slicer, [&slicer, cancelAt](int written) {
        if (written == cancelAt)
            slicer.cancel();
    }, Qt::DirectConnection);
    slicer.start();
    // Not a QSignalSpy on finished: it would record the signal on the
    // slicer's thread while this one reads it.
    QVERIFY2(slicer.wait(120000), "the run ends");

    QVERIFY(slicer.cancelled());
    QVERIFY2(slicer.error().isEmpty(), qPrintable("a cancel is no failure, got " + slicer.error()));
    QCOMPARE(fileBytes(path), kPreviousArchive);
    QCOMPARE(filesIn(folder), QStringList{QStringLiteral("job.cws")});
}

void TstSliceFaults::diskFullLeavesNoArchive_data()
{
    QTest::addColumn<bool>("previous"); // an archive of the same name exists
    QTest::newRow("no archive before") << false;
    QTest::newRow("previous archive") << true;
}

void TstSliceFaults::diskFullLeavesNoArchive()
{
    QFETCH(bool, previous);
    const QString folder = m_dir.filePath(QStringLiteral("full-%1").arg(previous));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/job.cws");
    if (previous)
        QVERIFY(writePreviousArchive(path));

    addCube(10);
    QList<Report> reports;
    {
        // 200 layers: their zip headers alone take more than 8 kB.
        KaloConfig::instance()->buildConfig()->layerThickness = 0.05f;
        const FileSizeLimit limit(8 * 1024);
        reports = slice(path);
    }

    const QString error = m_manager->sliceError();
    QVERIFY2(!reports.isEmpty() && reports.last().ratio > 1 && reports.last().cancled,
             "the end report of a failed run opens no completion dialog");
    QVERIFY2(error.startsWith(QStringLiteral("The print file ") + QDir::toNativeSeparators(path)
                              + QStringLiteral(" is incomplete and was not saved: ")),
             qPrintable("the user is told the archive is incomplete, got \"" + error + "\""));
    QVERIFY2(g_criticals.size() == 1 && g_criticals.first().contains(error),
             qPrintable("one critical message box shows it, got " + g_criticals.join(" | ")));
    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
    QCOMPARE(fileBytes(path), previous ? kPreviousArchive : QByteArray());
    QCOMPARE(filesIn(folder), previous ? QStringList{QStringLiteral("job.cws")} : QStringList{});

    slicesAgain(path);
}

void TstSliceFaults::folderClosedToNewFiles_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("overwritten in place") << false;
    QTest::newRow("cancelled") << true;
}

void TstSliceFaults::folderClosedToNewFiles()
{
    QFETCH(bool, cancel);
    const QString folder = m_dir.filePath(QStringLiteral("closed-%1").arg(cancel));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/job.cws");
    QVERIFY(writePreviousArchive(path));

    addCube(10);
    // A thousand layers when cancelled: the run is still going.
    KaloConfig::instance()->buildConfig()->layerThickness = cancel ? 0.01f : 0.25f;
    QList<Report> reports;
    {
        const ClosedFolder closed(m_dir.path(), folder, path);
        QVERIFY2(!QFile(folder + QStringLiteral("/probe")).open(QIODevice::WriteOnly), "the folder takes no new file");
        reports = slice(path, [this, cancel](int report) {
            if (cancel && report == 2)
                m_manager->cancleSlice();
        });
    }

    QVERIFY2(!reports.isEmpty() && reports.last().ratio > 1 && reports.last().cancled == cancel,
             "the run ends, completed unless cancelled");
    QVERIFY2(m_manager->sliceError().isEmpty(), qPrintable("no failure, got " + m_manager->sliceError()));
    if (cancel)
        QCOMPARE(fileBytes(path), kPreviousArchive);
    else
        QVERIFY2(isComplete(path, QStringLiteral("job"), 40), "the new archive took the old one's place");
    QCOMPARE(filesIn(folder), QStringList{QStringLiteral("job.cws")});
    QVERIFY2(QDir::temp().entryList({QStringLiteral(".job.cws.*")}, QDir::Files | QDir::Hidden).isEmpty(),
             "no new file is left in the temporary folder");
}

void TstSliceFaults::outputFolderRemoved_data()
{
    QTest::addColumn<bool>("madeAnew"); // a new, empty folder of the same name appears
    QTest::newRow("folder removed") << false;
    QTest::newRow("folder removed and made anew") << true;
}

void TstSliceFaults::outputFolderRemoved()
{
    QFETCH(bool, madeAnew);
    const QString folder = m_dir.filePath(QStringLiteral("removed-%1").arg(madeAnew));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/job.cws");
    addCube(10);
    SliceBuildConfig config = *KaloConfig::instance()->buildConfig();
    config.setOutputFile(path);

    const KaloConfig *settings = KaloConfig::instance();
    CWS::Slicer slicer(config, m_manager->models(), m_manager->calcNumSlices(), settings->useAntialise(),
                       settings->antiAliseValue(), settings->buildHeightMm());
    // Direct: the folder goes while the run is surely going on.
    bool removed = false;
    connect(&slicer, &CWS::Slicer::layerWritten, &slicer, [&](int written) {
        if (written != 1)
            return;
        removed = QDir(folder).removeRecursively() && (!madeAnew || QDir().mkpath(folder));
    }, Qt::DirectConnection);
    slicer.start();
    // Not a QSignalSpy on finished: it would record the signal on the
    // slicer's thread while this one reads it.
    QVERIFY2(slicer.wait(120000), "the run ends");

    QVERIFY(removed);
    QVERIFY2(!slicer.cancelled(), "nobody cancelled");
    QCOMPARE(QFileInfo::exists(folder), madeAnew);
    // An archive written as an unnamed file (Linux) can still be given its
    // name in a new folder of the same path: then it is whole.
    if (madeAnew && slicer.error().isEmpty()) {
        QVERIFY2(isComplete(path, QStringLiteral("job"), 1000), "an archive reported as done is whole");
        QCOMPARE(filesIn(folder), QStringList{QStringLiteral("job.cws")});
        return;
    }
    QVERIFY2(slicer.error().startsWith(QStringLiteral("The print file ") + QDir::toNativeSeparators(path)
                                       + QStringLiteral(" is incomplete and was not saved: ")),
             qPrintable("the run is a failure that names the archive, got \"" + slicer.error() + "\""));
    if (madeAnew)
        QCOMPARE(filesIn(folder), QStringList{});
}

void TstSliceFaults::commandLineAtAnyFileSizeLimit_data()
{
    QTest::addColumn<bool>("previous");
    QTest::newRow("no archive before") << false;
    QTest::newRow("previous archive") << true;
}

void TstSliceFaults::commandLineAtAnyFileSizeLimit()
{
#ifdef KALO3D_THREAD_SANITIZER
    // ThreadSanitizer's runtime starts the tool before the tool can ignore
    // SIGXFSZ, and dies of a limit of 0 bytes; the other builds run this.
    QSKIP("the file-size limit is tested without ThreadSanitizer");
#endif
    // The tool under a file-size limit at every 4 kB from nothing to past
    // the archive's size: the last write, the central directory or the
    // commit may be the one that fails.
    QFETCH(bool, previous);
    const QString folder = m_dir.filePath(QStringLiteral("cli-limits-%1").arg(previous));
    QVERIFY(QDir().mkpath(folder));
    const QString model = m_dir.filePath(QStringLiteral("cube10.stl"));
    QVERIFY(StlWriter::write(model, TestMeshes::cube(10), StlWriter::Binary));
    const QString path = folder + QStringLiteral("/job.cws");

    bool completed = false;
    for (qint64 limit = 0; !completed; limit += 4096) {
        QVERIFY2(limit < 1024 * 1024, "the archive is written at some limit");
        if (previous)
            QVERIFY(writePreviousArchive(path));
        else
            QFile::remove(path);
        LimitedProcess cli(limit);
        cli.start(QStringLiteral(KALO3D_CLI_EXECUTABLE),
                  {QStringLiteral("slice"), model, QStringLiteral("-o"), path, QStringLiteral("--antialias"),
                   QStringLiteral("off"), QStringLiteral("--thickness"), QStringLiteral("100")});
        QVERIFY2(cli.waitForFinished(120000), "the tool ends");
        const QString out = QString::fromUtf8(cli.readAllStandardOutput());
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        const QString at = QStringLiteral("limit %1 bytes: ").arg(limit);
        QVERIFY2(cli.exitStatus() == QProcess::NormalExit, qPrintable(at + "the tool exits by itself, not by a signal"));
        if (cli.exitCode() == 0) {
            completed = true;
            QVERIFY2(out.startsWith(path + QStringLiteral("\n  layers:    100 ")), qPrintable(at + "reported: " + out));
            QVERIFY2(isComplete(path, QStringLiteral("job"), 100), qPrintable(at + "an archive reported done is whole"));
        } else {
            QVERIFY2(cli.exitCode() == 3, qPrintable(at + QStringLiteral("exit %1: ").arg(cli.exitCode()) + err));
            QVERIFY2(err.contains(QStringLiteral("kalo3d-cli: The print file ") + path
                                  + QStringLiteral(" is incomplete and was not saved: ")),
                     qPrintable(at + "standard error tells why, got: " + err));
            QVERIFY2(out.isEmpty(), qPrintable(at + "nothing is reported as done, got: " + out));
            QVERIFY2(fileBytes(path) == (previous ? kPreviousArchive : QByteArray()),
                     qPrintable(at + "what was there before stays, byte for byte"));
        }
        QCOMPARE(filesIn(folder), QFile::exists(path) ? QStringList{QStringLiteral("job.cws")} : QStringList{});
    }
}

QTEST_MAIN(TstSliceFaults)
#include "tst_slicefaults.moc"

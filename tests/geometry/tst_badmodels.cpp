#include "app/KaloApp.h"
#include "app/Startup.h"
#include "common/StlWriter.h"
#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "workspace/KaloModel.h"

#include <QMutex>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <quazip.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How a row's path is made.
enum Kind {
    File,         // a file holding the row's bytes
    Folder,       // a folder of the row's name
    Unreadable,   // a file holding the row's bytes that its reader may not open
    Unsearchable, // a file holding the row's bytes in a folder its reader may not search
    Pipe,         // a named pipe that nobody writes into
    LinkLoop,     // a symbolic link to a link back to it
};

// The rows read as another user, who may not open or reach the file.
bool asNobody(int kind)
{
    return kind == Unreadable || kind == Unsearchable;
}

// Stands in for the main window: records what the critical message box would show.
const QByteArray mainWindowQml = R"(
import QtQml 2.2
QtObject {
    property string shown: ""
    function showCriticalMsgBox(message) { shown += message + "\n" }
}
)";

// Root may read any file: the unreadable rows read as this user instead.
constexpr uid_t nobody = 65534;

// Makes the process read files as nobody while it lives, when it runs as root.
class ReadAsNobody
{
public:
    explicit ReadAsNobody(bool wanted)
        : m_active(wanted && geteuid() == 0)
    {
        if (m_active)
            m_ok = setegid(nobody) == 0 && seteuid(nobody) == 0;
    }
    ~ReadAsNobody()
    {
        if (m_active && (seteuid(0) != 0 || setegid(0) != 0))
            qFatal("cannot return to root");
    }
    bool ok() const { return !m_active || m_ok; }

private:
    bool m_active;
    bool m_ok = true;
};

// kalo3d-cli, run as nobody when asked and the test runs as root.
class CliProcess : public QProcess
{
public:
    explicit CliProcess(bool asNobody)
        : m_asNobody(asNobody && geteuid() == 0)
    {
    }

protected:
    void setupChildProcess() override
    {
        if (m_asNobody && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0))
            _exit(125);
        // Changing the user makes a process undumpable, which would keep
        // LeakSanitizer (sanitizer builds) from inspecting its threads.
        if (m_asNobody)
            prctl(PR_SET_DUMPABLE, 1);
    }

private:
    bool m_asNobody;
};

struct CliResult
{
    QProcess::ExitStatus exit;
    int code;
    QString out;
    QString err;
};

CliResult runCli(const QStringList &arguments, bool asNobody)
{
    CliProcess cli(asNobody);
    cli.start(QStringLiteral(KALO3D_CLI_EXECUTABLE), arguments);
    if (!cli.waitForFinished(120000))
        cli.kill();
    return {cli.exitStatus(), cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()),
            QString::fromUtf8(cli.readAllStandardError())};
}

QByteArray stlBytes(const MeshPrimitiveData &mesh, StlWriter::Encoding encoding)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mesh.stl"));
    QFile file(path);
    return StlWriter::write(path, mesh, encoding) && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// binary with the triangle count of its header replaced.
QByteArray withCount(QByteArray binary, quint32 count)
{
    char bytes[4];
    qToLittleEndian(count, bytes);
    return binary.replace(80, 4, bytes, 4);
}

// binary with the z of the first triangle's first corner replaced.
QByteArray withFirstZ(QByteArray binary, float z)
{
    quint32 bits;
    std::memcpy(&bits, &z, sizeof bits);
    char bytes[4];
    qToLittleEndian(bits, bytes);
    return binary.replace(84 + 12 + 8, 4, bytes, 4);
}

// text with line (counted from 0) changed by edit.
QByteArray withLine(const QByteArray &text, int line, const std::function<void(QByteArray &)> &edit)
{
    QList<QByteArray> lines = text.split('\n');
    edit(lines[line]);
    return lines.join('\n');
}

// Every triangle a, b, c of mesh as a, b and the middle of a and b: no area.
MeshPrimitiveData needles(const MeshPrimitiveData &mesh)
{
    MeshPrimitiveData result;
    for (size_t k = 0; k + 2 < mesh.indices.size(); k += 3) {
        const MeshVertex &a = mesh.vertices[mesh.indices[k]];
        const MeshVertex &b = mesh.vertices[mesh.indices[k + 1]];
        const QVector3D pa(a.x, a.y, a.z), pb(b.x, b.y, b.z);
        TestMeshes::addTriangle(result, pa, pb, (pa + pb) / 2);
    }
    return result;
}

MeshPrimitiveData openCube()
{
    MeshPrimitiveData mesh = TestMeshes::cube(10);
    // One wall loses a triangle: a hole as big as half a side.
    mesh.indices.erase(mesh.indices.begin() + 18, mesh.indices.begin() + 21);
    return mesh;
}

bool finite(const QVector3D &v)
{
    return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z());
}

QString text(const QVector3D &v)
{
    return QString::asprintf("(%g, %g, %g)", double(v.x()), double(v.y()), double(v.z()));
}

// Collects the log of every thread: the slicer's pool logs too.
QMutex g_logMutex;
QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;

void collectMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        const QMutexLocker lock(&g_logMutex);
        g_log.append(message);
    }
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_previousHandler(type, context, message);
}

} // namespace

// Damaged, strange and unreadable model files, written by the test itself,
// through the two ways a user loads them: the model manager (File > Open,
// drag and drop) and the command-line tool. Each is refused with its reason,
// leaving the scene as it was, or loads and slices; nothing crashes.
class TstBadModels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void loadKeepsScene_data() { addRows(); }
    void loadKeepsScene();
    void cliInfo_data() { addRows(); }
    void cliInfo();
    void cliSlice_data() { addRows(); }
    void cliSlice();
    void damagedMeshesSlice_data();
    void damagedMeshesSlice();

private:
    // Columns: fileName, kind, content, problem (empty for a file that
    // loads) and triangles (of a file that loads).
    static void addRows();
    // The path of the current row, made in the temporary folder.
    QString rowPath();
    QString shownMessages() const { return m_engine->rootObjects().first()->property("shown").toString(); }

    std::unique_ptr<KaloConfig> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    std::unique_ptr<KaloApp> m_app;
    std::unique_ptr<KaloModel> m_manager;
};

void TstBadModels::initTestCase()
{
    qRegisterMetaType<KaloModel::ModelStatus>();
    // Thick 1-bit layers keep the slicing rows quick; no settings file is read or written.
    m_settings = std::make_unique<KaloConfig>(QString(), true);
    m_settings->setThicknessMM(0.1f);
    m_settings->useAntialise(false);
    m_settings->updateBuildConfig();
}

void TstBadModels::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(m_dir->isValid(), "a temporary folder for the model files");
    // The unreadable rows read as another user, who must reach the folder.
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                     | QFile::ReadOther | QFile::ExeOther));
    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_engine->loadData(mainWindowQml);
    QVERIFY2(!m_engine->rootObjects().isEmpty(), "the stand-in main window loads");
    m_app = std::make_unique<KaloApp>();
    m_app->setEngine(m_engine.get());
    m_manager = std::make_unique<KaloModel>();
    Startup::connectModelManager(*m_app, *m_manager);
}

void TstBadModels::cleanup()
{
    m_manager.reset();
    m_app.reset();
    m_engine.reset();
    m_dir.reset();
}

void TstBadModels::addRows()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<int>("triangles");

    const MeshPrimitiveData cube = TestMeshes::cube(10);
    const QByteArray binary = stlBytes(cube, StlWriter::Binary);
    const QByteArray ascii = stlBytes(cube, StlWriter::Ascii);
    MeshPrimitiveData far = cube;
    far.vertices[far.indices[0]].x = 1e30f;
    const QString badNumbers = QStringLiteral("the mesh has coordinates that are not numbers or lie beyond 1000000 mm");
    // Line 41 of the text cube is the third corner of its sixth facet.
    const int line = 40;
    const QByteArray cut = ascii.left(ascii.indexOf("endloop", ascii.size() / 2));

    QTest::newRow("empty file") << "empty.stl" << int(File) << QByteArray("") << "the file is empty" << 0;
    QTest::newRow("80-byte header only") << "header.stl" << int(File) << binary.left(80)
                                         << "not an STL file: it is text that does not begin with \"solid\"" << 0;
    QTest::newRow("under 84 bytes of binary") << "crumb.stl" << int(File) << QByteArray(40, '\0')
                                              << "not a readable STL file" << 0;
    QTest::newRow("84-byte header, no triangles") << "none.stl" << int(File) << withCount(binary.left(84), 0)
                                                  << "the file holds no triangles" << 0;
    QTest::newRow("count beyond the file")
        << "short.stl" << int(File) << withCount(binary, 1000000)
        << "the file is damaged or incomplete: it announces 1000000 triangles, which take 50000084 bytes, but it has 684"
        << 0;
    // 84 + 50 x 85899346 is 88 in 32-bit arithmetic.
    QTest::newRow("count beyond the file, size wrapping 32 bits")
        << "wrap.stl" << int(File) << withCount(binary.left(88), 85899346)
        << "the file is damaged or incomplete: it announces 85899346 triangles, which take 4294967384 bytes, but it "
           "has 88"
        << 0;
    QTest::newRow("three stray bytes") << "stray.stl" << int(File) << binary + "abc"
                                       << "the file is damaged or incomplete: it announces 12 triangles, which take "
                                          "684 bytes, but it has 687"
                                       << 0;
    QTest::newRow("text in capitals") << "capitals.stl" << int(File) << ascii.toUpper()
                                      << "a text STL file begins with \"solid\" in small letters, this one with "
                                         "\"SOLID\""
                                      << 0;
    QTest::newRow("text of another kind") << "mesh.stl" << int(File) << QByteArray("v 0 0 0\nv 1 0 0\nf 1 2 1\n")
                                          << "not an STL file: it is text that does not begin with \"solid\"" << 0;
    // assimp ends a line at a carriage return too.
    QTest::newRow("ASCII, carriage returns only") << "mac.stl" << int(File) << QByteArray(ascii).replace('\n', '\r')
                                                  << QString() << 12;
    QTest::newRow("NaN coordinate") << "nan.stl" << int(File) << withFirstZ(binary, std::nanf("")) << badNumbers
                                    << 0;
    QTest::newRow("infinite coordinate") << "inf.stl" << int(File)
                                         << withFirstZ(binary, -std::numeric_limits<float>::infinity())
                                         << badNumbers << 0;
    QTest::newRow("coordinate of 1e30") << "far.stl" << int(File) << stlBytes(far, StlWriter::Ascii) << badNumbers
                                        << 0;
    QTest::newRow("ASCII, garbage in the middle")
        << "garbage.stl" << int(File) << withLine(ascii, line, [](QByteArray &l) { l.prepend("#&~ 12abc\n"); })
        << QStringLiteral("the file is damaged or incomplete at line %1").arg(line + 1) << 0;
    // assimp reads such a text up to the zero byte and drops the rest.
    QTest::newRow("ASCII, zero byte in the middle")
        << "zero.stl" << int(File) << withLine(ascii, line, [](QByteArray &l) { l.prepend('\0'); })
        << QStringLiteral("the file is damaged or incomplete at line %1").arg(line + 1) << 0;
    QTest::newRow("ASCII, cut off in a facet")
        << "cut.stl" << int(File) << cut
        << QStringLiteral("the file is damaged or incomplete at line %1").arg(cut.count('\n') + 1) << 0;
    QTest::newRow("folder") << "folder.stl" << int(Folder) << QByteArray() << "it is a folder, not a file" << 0;
    QTest::newRow("no read permission") << "locked.stl" << int(Unreadable) << binary << "permission denied" << 0;
    QTest::newRow("in a folder that may not be searched")
        << "model.stl" << int(Unsearchable) << binary << "permission denied" << 0;
    // Opening a pipe would wait for a writer that never comes.
    QTest::newRow("named pipe") << "pipe.stl" << int(Pipe) << QByteArray() << "it is a pipe, not a regular file" << 0;
    QTest::newRow("loop of links") << "loop.stl" << int(LinkLoop) << QByteArray()
                                   << "its name leads round a loop of symbolic links" << 0;
    QTest::newRow("open mesh") << "open.stl" << int(File) << stlBytes(openCube(), StlWriter::Binary) << QString()
                               << 11;
    QTest::newRow("all triangles degenerate") << "needles.stl" << int(File)
                                              << stlBytes(needles(cube), StlWriter::Binary) << QString() << 12;
    QTest::newRow("spaces and non-ASCII letters in the name")
        << QStringLiteral("W\u00fcrfel mit \u00d6se \u7acb\u65b9\u4f53.stl") << int(File) << ascii << QString() << 12;
}

QString TstBadModels::rowPath()
{
    QFETCH(QString, fileName);
    QFETCH(int, kind);
    QFETCH(QByteArray, content);
    QString path = m_dir->filePath(fileName);
    if (kind == Folder) {
        if (!QDir().mkpath(path))
            qWarning() << "cannot make" << path;
        return path;
    }
    if (kind == Pipe) {
        if (mkfifo(QFile::encodeName(path).constData(), 0666) != 0)
            qWarning() << "cannot make the pipe" << path;
        return path;
    }
    if (kind == LinkLoop) {
        const QString other = m_dir->filePath(QStringLiteral("other.stl"));
        if (!QFile::link(other, path) || !QFile::link(path, other))
            qWarning() << "cannot make the links" << path;
        return path;
    }
    if (kind == Unsearchable) {
        const QString folder = m_dir->filePath(QStringLiteral("private"));
        if (!QDir().mkpath(folder) || !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner))
            qWarning() << "cannot make" << folder;
        path = folder + QLatin1Char('/') + fileName;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qWarning() << "cannot write" << path;
    file.close();
    if (kind == Unreadable && !file.setPermissions(QFile::WriteOwner))
        qWarning() << "cannot lock" << path;
    return path;
}

void TstBadModels::loadKeepsScene()
{
    QFETCH(int, kind);
    QFETCH(QString, problem);
    // The user has a model on the platform and has moved it.
    const QString good = m_dir->filePath(QStringLiteral("good.stl"));
    QVERIFY(StlWriter::write(good, TestMeshes::box({0, 0, 0}, {20, 10, 5}), StlWriter::Binary));
    QVERIFY(m_manager->loadModel(QUrl::fromLocalFile(good)));
    Model *first = m_manager->models().first();
    m_manager->setSelectedModelTranslate(7, -3, 0);
    first->updateBounds(true);
    const QVector3D min = first->boundMin, max = first->boundMax;
    const QString path = rowPath();

    QString reason;
    bool loaded = false;
    {
        const ReadAsNobody user(asNobody(kind));
        QVERIFY2(user.ok(), "the test can read as the user nobody");
        loaded = m_manager->loadModel(QUrl::fromLocalFile(path), &reason);
    }

    QCOMPARE(reason, problem);
    first->updateBounds(true);
    QVERIFY2(first->boundMin == min && first->boundMax == max,
             qPrintable("the model already there stays where it was, now " + text(first->boundMin) + " "
                        + text(first->boundMax)));
    if (!problem.isEmpty()) {
        QVERIFY2(!loaded, "the file is refused");
        QCOMPARE(m_manager->models().size(), 1);
        QCOMPARE(shownMessages(),
                 QStringLiteral("load model failed!\n%1: %2\n").arg(QUrl::fromLocalFile(path).fileName(), problem));
        QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
        QVERIFY2(m_manager->selectedModel() == first, "the selection stays");
        return;
    }
    QVERIFY2(loaded, "the file loads");
    QCOMPARE(m_manager->models().size(), 2);
    QVERIFY2(shownMessages().isEmpty(), qPrintable("no message box, got " + shownMessages()));
    Model *added = m_manager->models().last();
    added->updateBounds(true);
    QVERIFY2(finite(added->boundMin) && finite(added->boundMax) && finite(added->center)
                 && std::isfinite(added->volume),
             qPrintable("finite bounds, centre and volume, got " + text(added->boundMin) + " " + text(added->boundMax)
                        + " " + text(added->center)));
    for (const MeshVertex &v : added->mesh->vertices)
        QVERIFY2(std::isfinite(v.nx) && std::isfinite(v.ny) && std::isfinite(v.nz), "every normal is a number");
}

void TstBadModels::cliInfo()
{
    QFETCH(int, kind);
    QFETCH(QString, problem);
    QFETCH(int, triangles);
    const QString path = rowPath();

    const CliResult result = runCli({QStringLiteral("info"), path}, asNobody(kind));

    QVERIFY2(result.exit == QProcess::NormalExit, qPrintable("kalo3d-cli must not crash: " + result.err));
    if (!problem.isEmpty()) {
        QCOMPARE(result.code, 1);
        const QString message = "kalo3d-cli: cannot load " + path + ": " + problem + "\n";
        QVERIFY2(result.err.contains(message), qPrintable("expected " + message + "got " + result.err));
        QVERIFY2(result.out.isEmpty(), qPrintable("no figures for a refused file, got " + result.out));
        return;
    }
    QCOMPARE(result.code, 0);
    QVERIFY2(result.out.startsWith(path + "\n") && result.out.contains(QStringLiteral("triangles: %1\n").arg(triangles)),
             qPrintable(QStringLiteral("the figures of %1 triangles, got ").arg(triangles) + result.out));
}

void TstBadModels::cliSlice()
{
    QFETCH(int, kind);
    QFETCH(QString, problem);
    const QString path = rowPath();
    const QString archive = m_dir->filePath(QStringLiteral("out.cws"));

    const CliResult result = runCli({QStringLiteral("slice"), QStringLiteral("--thickness"), QStringLiteral("100"),
                                     QStringLiteral("--antialias"), QStringLiteral("off"), path,
                                     QStringLiteral("-o"), archive},
                                    asNobody(kind));

    QVERIFY2(result.exit == QProcess::NormalExit, qPrintable("kalo3d-cli must not crash: " + result.err));
    if (!problem.isEmpty()) {
        QCOMPARE(result.code, 1);
        const QString message = "kalo3d-cli: cannot load " + path + ": " + problem + "\n";
        QVERIFY2(result.err.contains(message), qPrintable("expected " + message + "got " + result.err));
        QVERIFY2(!QFileInfo::exists(archive), "no archive for a refused model");
        return;
    }
    QCOMPARE(result.code, 0);
    // A 10 mm model in 0.1 mm layers.
    QVERIFY2(result.out.contains(QStringLiteral("layers:    100 at 100")), qPrintable(result.out));
    QuaZip zip(archive);
    QVERIFY2(zip.open(QuaZip::mdUnzip), "the archive is a zip file");
    QCOMPARE(zip.getEntriesCount(), 101); // the layers and the G-code
}

void TstBadModels::damagedMeshesSlice_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("oddRows");
    QTest::newRow("open mesh") << stlBytes(openCube(), StlWriter::Binary) << true;
    QTest::newRow("all triangles degenerate") << stlBytes(needles(TestMeshes::cube(10)), StlWriter::Binary) << false;
}

// The application's own slicer on meshes that load but enclose no proper
// volume: the run ends normally, every layer in the archive, and a row that
// the fill rule skips is logged.
void TstBadModels::damagedMeshesSlice()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, oddRows);
    const QString path = m_dir->filePath(QStringLiteral("damaged.stl"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    QVERIFY(m_manager->loadModel(QUrl::fromLocalFile(path)));
    const QString archive = m_dir->filePath(QStringLiteral("damaged.cws"));

    g_log.clear();
    g_previousHandler = qInstallMessageHandler(collectMessage);
    QSignalSpy reports(m_manager.get(), &KaloModel::sliceCompletedProgress);
    m_manager->sliceTo(archive);
    bool ended = false;
    while (!ended && (!reports.isEmpty() || reports.wait(60000))) {
        ended = reports.takeFirst().at(0).toFloat() > 1;
    }
    qInstallMessageHandler(g_previousHandler);

    QVERIFY2(ended, "the run ends with its end report");
    QVERIFY2(m_manager->sliceError().isEmpty(), qPrintable("no error, got " + m_manager->sliceError()));
    QCOMPARE(m_manager->sliceNumber(), 100);
    QuaZip zip(archive);
    QVERIFY2(zip.open(QuaZip::mdUnzip), "the archive is a zip file");
    QCOMPARE(zip.getEntriesCount(), 101);
    const QRegularExpression oddRow(QStringLiteral("^Row y=-?\\d+ odd # of points = \\d+ - Model may have holes$"));
    const int logged = int(g_log.filter(oddRow).size());
    QVERIFY2((logged > 0) == oddRows, qPrintable(QStringLiteral("%1 rows with an odd number of crossings logged")
                                                      .arg(logged)));
    QVERIFY2(shownMessages().isEmpty(), qPrintable("no message box, got " + shownMessages()));
}

QTEST_MAIN(TstBadModels)
#include "tst_badmodels.moc"

// Speed and memory of slicing; run by hand (see compare_prusaslicer.sh),
// not by ctest.
//
// Usage:
//   kalo3d-bench [--antialias on|off|both] [--check] [STL...]
//     Slices a generated sphere and every STL given, each with and without
//     anti-aliasing (factor 2) unless --antialias says otherwise, at the
//     built-in settings (50 um layers, 1375 x 2455 pixels), as the
//     application runs it: the model manager, the slicer thread with its
//     pool and the archive. Each run has a process of its own, so that its
//     peak memory is its own. --check: each case twice, without and with
//     the print check beside slicing, and the number of findings.
//   kalo3d-bench --encode-only ARCHIVE
//     The floor of a slicing run's output: the time to encode the layer
//     images of ARCHIVE (a .cws the slicer wrote) as PNG again and write
//     them into a new archive, with the slicer's encoder, compression, pool
//     and lock, committed to the disk as the slicer commits its archive.
//     The images are decoded beforehand, in batches, untimed.
//   kalo3d-bench --compare-layers ARCHIVE ARCHIVE [STEP [mirror-x]]
//     How far the layers of two archives of the same job on the same display
//     differ (another slicer's SL1 and ours, say): every STEP-th layer (20
//     unless given), matched by the number that ends its name, both taken as
//     white from 128 up; counts the pixels that differ and those of them
//     farther than 2 pixels from an outline of either layer. The two programs
//     may place the model apart: the second archive's layers are moved by
//     whole pixels so that the white of the first layers compared starts at
//     the same top left pixel; with mirror-x they are mirrored in x first.
//   kalo3d-bench --supports STL [islands|overhangs]
//     Automatic supports for the model: the time of KaloModel::addSupportAuto,
//     the number of columns it placed and a digest of their triangles on the
//     platform (the same digest: the same columns), in both modes beside
//     slicing the model, or in the mode given alone; three rounds.
//   kalo3d-bench --live STL
//     The live print check: the model is moved five times, and each time the
//     time from the move to the check's list of the new place is printed
//     (the quiet time after a change included).
//   kalo3d-bench --load [COPIES]
//   kalo3d-bench --load-files [COPIES]
//     A large scene, step by step in one process: a generated sphere of about
//     one million triangles is written as binary STL, loaded as a model,
//     copied to COPIES models in all (10 unless given) by the model
//     manager's copy, which shares the mesh, or with --load-files loaded
//     that many times, each model with a mesh of its own, and laid out; the
//     slice preview shows layers across the height and then the top twenty;
//     the scene is sliced at the built-in settings. Each step prints its
//     wall time, the resident memory after it, its own peak and the peak
//     so far.
//   kalo3d-bench --history
//     What the undo history costs: the million-triangle sphere loaded,
//     copied 10 times and moved 100 times, once with the history and once
//     with it emptied after every step, each in a process of its own; prints
//     the resident memory of both.
//   kalo3d-bench --layers [SIDES]
//     Whether memory grows with the layer count: a 50 mm and a 150 mm tall
//     cylinder of SIDES sides (360 unless given; every side is two
//     triangles as tall as the cylinder), 1000 and 3000 layers at 50 um,
//     sliced at the built-in settings, each in a process of its own, with
//     their peak memory.
//   kalo3d-bench --hollow
//     What hollowing costs: Cavity::build with a 2 mm wall, its wall and
//     processor time, the memory it took above what was resident before
//     (its result included) and the size of its result, beside the wall
//     and processor time of slicing the solid model once at the built-in
//     settings, for a
//     50 mm sphere of about one million triangles and a 20 mm cylinder of
//     360 sides 50 mm and 150 mm tall, each in a process of its own.

#include "common/StlWriter.h"
#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "io/CommittedFile.h"
#include "settings/KaloConfig.h"
#include "slicing/Cavity.h"
#include "slicing/PngEncoder.h"
#include "slicing/ZipEntry.h"
#include "workspace/KaloModel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMutex>
#include <QRect>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QUrl>

#include <quazip.h>
#include <quazipfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Case
{
    std::string stl; // empty: the generated sphere
    bool antiAliasing;
    bool check = false;
};

void dropDebugMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// A field of /proc/self/status in MB ("VmRSS": resident now, "VmHWM": its
// peak since the last resetPeak); 0 where there is none.
double statusMegabytes(const char *field)
{
    double kilobytes = 0;
    if (FILE *status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const size_t length = std::strlen(field);
        while (std::fgets(line, sizeof line, status)) {
            if (std::strncmp(line, field, length) == 0 && line[length] == ':')
                kilobytes = std::atof(line + length + 1);
        }
        std::fclose(status);
    }
    return kilobytes / 1024.0;
}

// Starts a new VmHWM peak at the resident memory of now (Linux 4.0 and later).
void resetPeak()
{
    if (FILE *clear = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", clear);
        std::fclose(clear);
    }
}

bool load(KaloModel &manager, const std::string &stl)
{
    const QString path = QString::fromStdString(stl);
    if (manager.loadModel(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())))
        return true;
    std::fprintf(stderr, "kalo3d-bench: cannot load %s\n", stl.c_str());
    return false;
}

// Slices the manager's scene into path and waits for the end; false after
// a message when the archive could not be written.
bool sliceScene(KaloModel &manager, const QString &path)
{
    QEventLoop loop;
    QObject::connect(&manager, &KaloModel::sliceCompletedProgress, &loop, [&loop](float ratio) {
        if (ratio > 1)
            loop.quit();
    });
    manager.sliceTo(path);
    loop.exec();
    if (manager.sliceError().isEmpty())
        return true;
    std::fprintf(stderr, "kalo3d-bench: %s\n", qPrintable(manager.sliceError()));
    return false;
}

// Runs on the child process; returns its exit status.
int runCase(int argc, char *argv[], const Case &c)
{
    QGuiApplication app(argc, argv);
    KaloConfig settings(QString(), true);
    settings.useAntialise(c.antiAliasing);
    settings.antiAliseValue(2);
    settings.updateBuildConfig();

    KaloModel manager;
    QString name;
    if (c.stl.empty()) {
        // 30 mm tall: 600 layers.
        Model *sphere = TestMeshes::makeModel(TestMeshes::sphere(15, QVector3D(0, 0, 15), 64, 128));
        manager.addModel(sphere);
        name = QStringLiteral("sphere r15 mm, %1 tri").arg(sphere->mesh->indices.size() / 3);
    } else {
        if (!load(manager, c.stl))
            return 1;
        name = QStringLiteral("%1, %2 tri").arg(QFileInfo(QString::fromStdString(c.stl)).fileName())
                   .arg(manager.models().first()->mesh->indices.size() / 3);
    }

    manager.setPrintCheck(c.check);
    QTemporaryDir dir;
    QElapsedTimer timer;
    timer.start();
    if (!sliceScene(manager, dir.filePath(QStringLiteral("bench.cws"))))
        return 1;
    const double seconds = double(timer.nsecsElapsed()) / 1e9;

    const int layers = manager.sliceNumber();
    std::printf("%-34s %-6s %7d %9.2f %10.1f %9.1f %9.2f %s\n", qPrintable(name), c.antiAliasing ? "x2" : "off",
                layers, seconds, layers / seconds, peakMegabytes(),
                double(QFileInfo(dir.filePath(QStringLiteral("bench.cws"))).size()) / 1e6,
                c.check ? qPrintable(QStringLiteral("check: %1 findings").arg(manager.printFindings().size())) : "");
    std::fflush(stdout);
    return 0;
}

int slicing(int argc, char *argv[], const std::vector<std::string> &stls, const std::vector<bool> &modes,
            bool check)
{
    std::printf("%d logical processors\n", int(sysconf(_SC_NPROCESSORS_ONLN)));
    std::printf("%-34s %-6s %7s %9s %10s %9s %9s\n", "model", "AA", "layers", "wall s", "layers/s", "peak MB",
                "cws MB");
    std::fflush(stdout);
    int status = 0;
    for (const std::string &stl : stls) {
        for (bool antiAliasing : modes) {
            for (bool checking : check ? std::vector<bool>{false, true} : std::vector<bool>{false}) {
                // Forked before any Qt object exists, so the child starts clean.
                const pid_t child = fork();
                if (child == 0)
                    _exit(runCase(argc, argv, {stl, antiAliasing, checking}));
                int childStatus = 0;
                waitpid(child, &childStatus, 0);
                if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0)
                    status = 1;
            }
        }
    }
    return status;
}

int encodeOnly(const QString &archivePath)
{
    QuaZip source(archivePath);
    if (!source.open(QuaZip::mdUnzip)) {
        std::fprintf(stderr, "kalo3d-bench: cannot read %s\n", qPrintable(archivePath));
        return 1;
    }
    QTemporaryDir dir;
    // Written and committed to the disk as the slicer writes its archive.
    CommittedFile file(dir.filePath(QStringLiteral("floor.cws")));
    QuaZip target(&file.device());
    if (!file.open() || !target.open(QuaZip::mdCreate)) {
        std::fprintf(stderr, "kalo3d-bench: cannot write into %s\n", qPrintable(dir.path()));
        return 1;
    }
    QThreadPool pool;
    QMutex mutex;
    // As many images at once as keep the pool busy without holding a whole
    // run's images in memory: at most 64, and at most 512 MB of them (eight
    // 12K layers).
    const int batch = 64;
    const qint64 batchBytes = qint64(512) << 20;
    qint64 held = 0;
    struct Layer
    {
        QString name;
        QImage image;
    };
    std::vector<Layer> layers;
    qint64 nanoseconds = 0;
    int count = 0;
    const auto encodeBatch = [&] {
        QElapsedTimer timer;
        timer.start();
        for (const Layer &layer : layers) {
            pool.start(QRunnable::create([&layer, &mutex, &target] {
                const CWS::ZipEntry entry = CWS::ZipEntry::compress(layer.name, CWS::encodePng(layer.image));
                QMutexLocker lock(&mutex);
                entry.writeTo(target);
            }));
        }
        pool.waitForDone();
        nanoseconds += timer.nsecsElapsed();
        count += int(layers.size());
        layers.clear();
        held = 0;
    };
    for (bool more = source.goToFirstFile(); more; more = source.goToNextFile()) {
        const QString name = source.getCurrentFileName();
        if (!name.endsWith(QLatin1String(".png")))
            continue;
        QuaZipFile file(&source);
        file.open(QIODevice::ReadOnly);
        layers.push_back({name, QImage::fromData(file.readAll(), "PNG")});
        held += layers.back().image.sizeInBytes();
        if (layers.size() == batch || held >= batchBytes)
            encodeBatch();
    }
    encodeBatch();
    QElapsedTimer timer;
    timer.start();
    target.close();
    const bool committed = file.commit([count](QIODevice &written) {
        QuaZip zip(&written);
        return zip.open(QuaZip::mdUnzip) && zip.getEntriesCount() == count;
    });
    nanoseconds += timer.nsecsElapsed();
    if (target.getZipError() != ZIP_OK || !committed) {
        std::fprintf(stderr, "kalo3d-bench: the archive in %s could not be written\n", qPrintable(dir.path()));
        return 1;
    }
    std::printf("encode and write %d layers: %.2f s\n", count, double(nanoseconds) / 1e9);
    return 0;
}

// A digest of every column's triangles on the platform, in scene order.
QByteArray columnDigest(const KaloModel &manager)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const Model *model : manager.models()) {
        if (model->type != TYPE_SUPPORT)
            continue;
        const QMatrix4x4 matrix = model->modelMatrix();
        for (const MeshVertex &v : model->mesh->vertices) {
            const QVector3D p = matrix.map(QVector3D(v.x, v.y, v.z));
            const float xyz[3] = {p.x(), p.y(), p.z()};
            hash.addData(reinterpret_cast<const char *>(xyz), sizeof xyz);
        }
        hash.addData(reinterpret_cast<const char *>(model->mesh->indices.data()),
                     int(model->mesh->indices.size() * sizeof(model->mesh->indices[0])));
    }
    return hash.result().toHex().left(16);
}

// Automatic supports in the given modes (-1: slicing the same model without
// supports), interleaved three times so that the machine's load hits each alike.
int supports(int argc, char *argv[], const std::string &stl, const std::vector<int> &modes)
{
    QGuiApplication app(argc, argv);
    KaloConfig settings(QString(), true);
    settings.updateBuildConfig();
    const QString name = QFileInfo(QString::fromStdString(stl)).fileName();
    QTemporaryDir dir;
    for (int round = 0; round < 3; ++round) {
        for (const int mode : modes) {
            KaloModel manager;
            if (!load(manager, stl))
                return 1;
            QEventLoop loop;
            QObject::connect(&manager, &KaloModel::sliceCompletedProgress, &loop, [&loop](float ratio) {
                if (ratio > 1)
                    loop.quit();
            });
            QElapsedTimer timer;
            timer.start();
            if (mode < 0) {
                manager.sliceTo(dir.filePath(QStringLiteral("bench.cws")));
            } else {
                settings.supportConfig()->setMode(mode);
                manager.addSupportAuto(0);
            }
            loop.exec();
            const double seconds = double(timer.nsecsElapsed()) / 1e9;
            if (mode < 0)
                std::printf("slicing %s: %.2f s\n", qPrintable(name), seconds);
            else
                std::printf("supports (%s) for %s: %d columns in %.2f s, peak %.1f MB, digest %s\n",
                            mode ? "islands and overhangs" : "islands only", qPrintable(name),
                            manager.models().size() - 1, seconds, peakMegabytes(), columnDigest(manager).constData());
            std::fflush(stdout);
        }
    }
    return 0;
}

int liveCheck(int argc, char *argv[], const std::string &stl)
{
    QGuiApplication app(argc, argv);
    KaloConfig settings(QString(), true);
    settings.updateBuildConfig();
    KaloModel manager;
    if (!load(manager, stl))
        return 1;
    QEventLoop loop;
    QObject::connect(&manager, &KaloModel::printCheckDone, &loop, &QEventLoop::quit);
    manager.setLiveCheck(true);
    loop.exec(); // the check of the model as loaded
    manager.selectModel(manager.models().first());
    for (int i = 1; i <= 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        manager.setSelectedModelTranslate(float(i % 2), 0, 0);
        loop.exec();
        std::printf("live check of %s after a move: %.2f s after the change, %d findings\n",
                    qPrintable(QFileInfo(QString::fromStdString(stl)).fileName()), double(timer.nsecsElapsed()) / 1e9,
                    int(manager.printCheckList().size()));
        std::fflush(stdout);
    }
    return 0;
}

// One step of --load: its wall time, the resident memory after it, its own
// peak and the process's peak so far.
class Step
{
public:
    explicit Step(const char *name)
        : m_name(name)
    {
        resetPeak();
        m_timer.start();
    }
    void done(const QString &result = QString())
    {
        const double peak = statusMegabytes("VmHWM");
        s_peak = std::max(s_peak, peak);
        std::printf("%-20s %8.2f %9.1f %9.1f %9.1f  %s\n", m_name, double(m_timer.nsecsElapsed()) / 1e9,
                    statusMegabytes("VmRSS"), peak, s_peak, qPrintable(result));
        std::fflush(stdout);
    }

private:
    static double s_peak; // MB
    const char *m_name;
    QElapsedTimer m_timer;
};

double Step::s_peak = 0;

int loadScene(int argc, char *argv[], int copies, bool separateFiles)
{
    QGuiApplication app(argc, argv);
    KaloConfig settings(QString(), true);
    settings.updateBuildConfig();
    KaloModel manager;
    QTemporaryDir dir;
    const QString stl = dir.filePath(QStringLiteral("sphere.stl"));

    std::printf("%-20s %8s %9s %9s %9s\n", "step", "wall s", "RSS MB", "step peak", "peak MB");
    Step writing("write sphere STL");
    {
        // 500 x 1000 quads less the poles' half: 998 000 triangles, 18 mm across.
        const MeshPrimitiveData sphere = TestMeshes::sphere(9, QVector3D(0, 0, 9), 500, 1000);
        if (!StlWriter::write(stl, sphere, StlWriter::Binary)) {
            std::fprintf(stderr, "kalo3d-bench: cannot write %s\n", qPrintable(stl));
            return 1;
        }
    }
    writing.done(QStringLiteral("%1 MB").arg(double(QFileInfo(stl).size()) / 1e6, 0, 'f', 1));

    Step loading("load STL");
    if (!load(manager, stl.toStdString()))
        return 1;
    const size_t triangles = manager.models().first()->mesh->indices.size() / 3;
    loading.done(QStringLiteral("%1 triangles").arg(triangles));

    Step copying(separateFiles ? "load again" : "copy");
    for (int i = 1; i < copies; ++i) {
        if (separateFiles && !load(manager, stl.toStdString()))
            return 1;
        if (!separateFiles)
            manager.copyModel(0);
    }
    copying.done(QStringLiteral("%1 models, %2 triangles").arg(manager.models().size()).arg(triangles * size_t(copies)));

    Step layout("auto layout");
    const QVector3D before = manager.models().last()->translate;
    manager.autoLayoutModel();
    layout.done(manager.models().last()->translate != before ? QStringLiteral("placed")
                                                              : QStringLiteral("no room: copies stay in a row"));

    Step preview("preview");
    if (!manager.setShowSliceEnable(true)) {
        std::fprintf(stderr, "kalo3d-bench: no preview\n");
        return 1;
    }
    const int layers = manager.sliceCount();
    int shown = 1;
    for (int step = 1; step < 10; ++step, ++shown)
        manager.setCurrentLayer(layers * step / 10);
    // More layers than the preview keeps, where the cut-away meshes are largest.
    for (int layer = std::max(layers - 20, 0); layer < layers; ++layer, ++shown)
        manager.setCurrentLayer(layer);
    preview.done(QStringLiteral("%1 of %2 layers shown").arg(shown).arg(layers));
    Step leave("leave preview");
    manager.setShowSliceEnable(false);
    leave.done();

    Step slicing("slice");
    const QString archive = dir.filePath(QStringLiteral("load.cws"));
    if (!sliceScene(manager, archive))
        return 1;
    slicing.done(QStringLiteral("%1 layers, anti-aliasing %2, %3 MB archive")
                     .arg(manager.sliceNumber())
                     .arg(settings.useAntialise() ? QStringLiteral("x%1").arg(double(settings.antiAliseValue()))
                                                  : QStringLiteral("off"))
                     .arg(double(QFileInfo(archive).size()) / 1e6, 0, 'f', 1));
    return 0;
}

// Runs on the child process: slices a cylinder of height mm.
int layerCase(int argc, char *argv[], float height, int sides)
{
    QGuiApplication app(argc, argv);
    KaloConfig settings(QString(), true);
    settings.updateBuildConfig();
    KaloModel manager;
    manager.addModel(TestMeshes::makeModel(TestMeshes::prism(TestMeshes::regularPolygon(sides, 10), height)));
    QTemporaryDir dir;
    QElapsedTimer timer;
    timer.start();
    if (!sliceScene(manager, dir.filePath(QStringLiteral("layers.cws"))))
        return 1;
    std::printf("%-24s %7d %9.2f %9.1f\n", qPrintable(QStringLiteral("cylinder %1 mm, %2 sides").arg(double(height)).arg(sides)),
                manager.sliceNumber(), double(timer.nsecsElapsed()) / 1e9, peakMegabytes());
    std::fflush(stdout);
    return 0;
}

int layerCounts(int argc, char *argv[], int sides)
{
    std::printf("%-24s %7s %9s %9s\n", "model", "layers", "wall s", "peak MB");
    std::fflush(stdout);
    int status = 0;
    for (float height : {50.0f, 150.0f}) {
        const pid_t child = fork();
        if (child == 0)
            _exit(layerCase(argc, argv, height, sides));
        int childStatus = 0;
        waitpid(child, &childStatus, 0);
        if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0)
            status = 1;
    }
    return status;
}

// Processor time of every thread of the process so far (s).
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs on the child process: hollows and then slices the model of mesh.
int hollowCase(int argc, char *argv[], const QString &name, const MeshPrimitiveData &mesh)
{
    QGuiApplication app(argc, argv);
    KaloConfig settings(QString(), true);
    settings.updateBuildConfig();
    KaloModel manager;
    Model *model = TestMeshes::makeModel(mesh);
    manager.addModel(model);
    const double before = statusMegabytes("VmRSS");
    resetPeak();
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = cpuSeconds();
    const MeshPrimitiveData cavity = CWS::Cavity::build(*model->mesh, model->modelMatrix(), 2);
    const double hollowSeconds = double(timer.nsecsElapsed()) / 1e9;
    const double hollowCpu = cpuSeconds() - cpuBefore;
    const double hollowPeak = statusMegabytes("VmHWM") - before;
    QTemporaryDir dir;
    timer.restart();
    if (!sliceScene(manager, dir.filePath(QStringLiteral("hollow.cws"))))
        return 1;
    const double sliceSeconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%-22s %8zu %7d %9.2f %9.2f %9.1f %9.1f %9.2f %9.2f %9.1f\n", qPrintable(name),
                mesh.indices.size() / 3, manager.sliceNumber(), hollowSeconds, hollowCpu, hollowPeak,
                double(cavity.vertices.size() * sizeof(MeshVertex) + cavity.indices.size() * sizeof(uint32_t)) / 1e6,
                sliceSeconds, cpuSeconds() - cpuBefore - hollowCpu, peakMegabytes());
    std::fflush(stdout);
    return 0;
}

int hollowing(int argc, char *argv[])
{
    std::printf("%d logical processors\n", int(sysconf(_SC_NPROCESSORS_ONLN)));
    std::printf("%-22s %8s %7s %9s %9s %9s %9s %9s %9s %9s\n", "model", "tri", "layers", "hollow s", "cpu s",
                "hollow MB", "cavity MB", "slice s", "cpu s", "peak MB");
    std::fflush(stdout);
    const std::vector<std::pair<QString, std::function<MeshPrimitiveData()>>> cases = {
        {QStringLiteral("sphere 50 mm"), [] { return TestMeshes::sphere(25, QVector3D(0, 0, 25), 500, 1000); }},
        {QStringLiteral("cylinder 20 x 50 mm"),
         [] { return TestMeshes::prism(TestMeshes::regularPolygon(360, 10), 50); }},
        {QStringLiteral("cylinder 20 x 150 mm"),
         [] { return TestMeshes::prism(TestMeshes::regularPolygon(360, 10), 150); }},
    };
    int status = 0;
    for (const auto &c : cases) {
        const pid_t child = fork();
        if (child == 0)
            _exit(hollowCase(argc, argv, c.first, c.second()));
        int childStatus = 0;
        waitpid(child, &childStatus, 0);
        if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0)
            status = 1;
    }
    return status;
}

int usage()
{
    std::fprintf(stderr, "usage: kalo3d-bench [--antialias on|off|both] [--check] [STL...]\n"
                         "       kalo3d-bench --encode-only ARCHIVE\n"
                         "       kalo3d-bench --compare-layers ARCHIVE ARCHIVE [STEP [mirror-x]]\n"
                         "       kalo3d-bench --supports STL [islands|overhangs]\n"
                         "       kalo3d-bench --live STL\n"
                         "       kalo3d-bench --load|--load-files [COPIES]\n"
                         "       kalo3d-bench --layers [SIDES]\n"
                         "       kalo3d-bench --hollow\n");
    return 2;
}

} // namespace

// The layer PNGs of an archive by the number that ends their names.
std::map<int, QString> layerEntries(QuaZip &zip)
{
    std::map<int, QString> layers;
    const QRegularExpression number(QStringLiteral("(\\d+)\\.png$"));
    for (const QString &name : zip.getFileNameList()) {
        const QRegularExpressionMatch match = number.match(name);
        if (match.hasMatch() && !name.contains(QLatin1Char('/')))
            layers[match.captured(1).toInt()] = name;
    }
    return layers;
}

QImage layerImage(QuaZip &zip, const QString &name)
{
    zip.setCurrentFile(name);
    QuaZipFile file(&zip);
    file.open(QIODevice::ReadOnly);
    return QImage::fromData(file.readAll(), "PNG").convertToFormat(QImage::Format_Grayscale8);
}

int compareLayers(const QString &first, const QString &second, int step, bool mirrorX)
{
    QuaZip a(first), b(second);
    if (!a.open(QuaZip::mdUnzip) || !b.open(QuaZip::mdUnzip)) {
        std::fprintf(stderr, "kalo3d-bench: cannot read both archives\n");
        return 1;
    }
    const std::map<int, QString> layersA = layerEntries(a), layersB = layerEntries(b);
    std::printf("layers: %zu and %zu\n", layersA.size(), layersB.size());
    qint64 differing = 0, far = 0, white = 0;
    int compared = 0;
    bool aligned = false;
    int dx = 0, dy = 0; // where a pixel of the second archive lies in the first
    const auto whiteBounds = [](const QImage &image) {
        QRect bounds;
        for (int y = 0; y < image.height(); ++y) {
            const uchar *row = image.constScanLine(y);
            const uchar *end = row + image.width();
            const uchar *first = std::find_if(row, end, [](uchar v) { return v >= 128; });
            if (first == end)
                continue;
            const uchar *last = std::find_if(std::make_reverse_iterator(end), std::make_reverse_iterator(row),
                                             [](uchar v) { return v >= 128; }).base() - 1;
            bounds |= QRect(int(first - row), y, int(last - first) + 1, 1);
        }
        return bounds;
    };
    for (const auto &[index, nameA] : layersA) {
        if (index % step != 0 || !layersB.count(index))
            continue;
        const QImage imageA = layerImage(a, nameA);
        QImage imageB = layerImage(b, layersB.at(index)).mirrored(mirrorX, false);
        if (imageA.size() != imageB.size()) {
            std::printf("layer %d: sizes differ\n", index);
            return 1;
        }
        if (!aligned) {
            const QRect boundsA = whiteBounds(imageA), boundsB = whiteBounds(imageB);
            if (boundsA.isEmpty() || boundsB.isEmpty())
                continue;
            dx = boundsA.left() - boundsB.left();
            dy = boundsA.top() - boundsB.top();
            aligned = true;
            std::printf("second archive moved by %d, %d pixels\n", dx, dy);
        }
        if (dx || dy) {
            QImage moved(imageB.size(), QImage::Format_Grayscale8);
            moved.fill(0);
            for (int y = std::max(0, dy); y < std::min(moved.height(), moved.height() + dy); ++y) {
                const uchar *from = imageB.constScanLine(y - dy);
                uchar *to = moved.scanLine(y);
                for (int x = std::max(0, dx); x < std::min(moved.width(), moved.width() + dx); ++x)
                    to[x] = from[x - dx];
            }
            imageB = moved;
        }
        const int w = imageA.width(), h = imageA.height();
        // An outline pixel: white with a black 4-neighbour, in either image.
        const auto on = [](const QImage &image, int x, int y) { return image.constScanLine(y)[x] >= 128; };
        const auto edge = [&](const QImage &image, int x, int y) {
            const bool v = on(image, x, y);
            return (x > 0 && on(image, x - 1, y) != v) || (x + 1 < w && on(image, x + 1, y) != v)
                   || (y > 0 && on(image, x, y - 1) != v) || (y + 1 < h && on(image, x, y + 1) != v);
        };
        qint64 layerFar = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                white += on(imageA, x, y);
                if (on(imageA, x, y) == on(imageB, x, y))
                    continue;
                ++differing;
                bool nearOutline = false;
                for (int dy = -2; dy <= 2 && !nearOutline; ++dy) {
                    for (int dx = -2; dx <= 2 && !nearOutline; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        nearOutline = nx >= 0 && ny >= 0 && nx < w && ny < h
                                      && (edge(imageA, nx, ny) || edge(imageB, nx, ny));
                    }
                }
                layerFar += !nearOutline;
            }
        }
        far += layerFar;
        ++compared;
        if (layerFar)
            std::printf("layer %d: %lld pixels differ farther than 2 pixels from an outline\n", index,
                        static_cast<long long>(layerFar));
    }
    std::printf("compared %d layers: %lld white pixels in the first, %lld differ, %lld of them farther than 2 "
                "pixels from an outline\n",
                compared, static_cast<long long>(white), static_cast<long long>(differing),
                static_cast<long long>(far));
    return far == 0 ? 0 : 3;
}

// Runs on the child process: the resident memory (MB) after the edits.
int historyCase(int argc, char *argv[], bool keepHistory)
{
    QGuiApplication app(argc, argv);
    KaloConfig settings(QString(), true);
    KaloModel manager;
    QTemporaryDir dir;
    const QString stl = dir.filePath(QStringLiteral("sphere.stl"));
    if (!StlWriter::write(stl, TestMeshes::sphere(9, QVector3D(0, 0, 9), 500, 1000), StlWriter::Binary)
        || !load(manager, stl.toStdString()))
        return 1;
    const auto step = [&] {
        if (!keepHistory)
            manager.clearHistory();
    };
    step();
    for (int i = 0; i < 10; ++i) {
        manager.copyModel(0);
        step();
    }
    for (int i = 0; i < 100; ++i) {
        manager.setSelectedModelTranslate(float(i % 10), float(i / 10), 0);
        step();
    }
    std::printf("%-16s %9.1f %6d %5s\n", keepHistory ? "with history" : "without history",
                statusMegabytes("VmRSS"), manager.models().size(), manager.canUndo() ? "yes" : "no");
    std::fflush(stdout);
    return 0;
}

int historyMemory(int argc, char *argv[])
{
    std::printf("%-16s %9s %6s %5s\n", "scene", "RSS MB", "models", "undo");
    std::fflush(stdout);
    int status = 0;
    for (bool keep : {false, true}) {
        const pid_t child = fork();
        if (child == 0)
            _exit(historyCase(argc, argv, keep));
        int childStatus = 0;
        waitpid(child, &childStatus, 0);
        if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0)
            status = 1;
    }
    return status;
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(dropDebugMessages);
    if (argc == 3 && std::strcmp(argv[1], "--encode-only") == 0) {
        QGuiApplication app(argc, argv);
        return encodeOnly(QString::fromLocal8Bit(argv[2]));
    }
    if (argc >= 4 && argc <= 6 && std::strcmp(argv[1], "--compare-layers") == 0) {
        QGuiApplication app(argc, argv);
        return compareLayers(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                             argc >= 5 ? std::max(1, std::atoi(argv[4])) : 20,
                             argc == 6 && std::strcmp(argv[5], "mirror-x") == 0);
    }
    if (argc == 2 && std::strcmp(argv[1], "--history") == 0)
        return historyMemory(argc, argv);
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--supports") == 0) {
        std::vector<int> modes{int(CWS::SupportConfig::IslandsAndOverhangs), int(CWS::SupportConfig::IslandsOnly), -1};
        if (argc == 4 && std::strcmp(argv[3], "islands") == 0)
            modes = {int(CWS::SupportConfig::IslandsOnly)};
        else if (argc == 4 && std::strcmp(argv[3], "overhangs") == 0)
            modes = {int(CWS::SupportConfig::IslandsAndOverhangs)};
        else if (argc == 4)
            return usage();
        return supports(argc, argv, argv[2], modes);
    }
    if (argc == 3 && std::strcmp(argv[1], "--live") == 0)
        return liveCheck(argc, argv, argv[2]);
    const bool separateFiles = argc > 1 && std::strcmp(argv[1], "--load-files") == 0;
    if ((argc == 2 || argc == 3) && (separateFiles || std::strcmp(argv[1], "--load") == 0)) {
        const int copies = argc == 3 ? std::atoi(argv[2]) : 10;
        return copies > 0 ? loadScene(argc, argv, copies, separateFiles) : usage();
    }
    if (argc == 2 && std::strcmp(argv[1], "--hollow") == 0)
        return hollowing(argc, argv);
    if ((argc == 2 || argc == 3) && std::strcmp(argv[1], "--layers") == 0) {
        const int sides = argc == 3 ? std::atoi(argv[2]) : 360;
        return sides >= 3 ? layerCounts(argc, argv, sides) : usage();
    }

    std::vector<std::string> stls{std::string()};
    std::vector<bool> modes{true, false};
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0) {
            check = true;
            continue;
        }
        if (std::strcmp(argv[i], "--antialias") == 0 && i + 1 < argc) {
            const std::string mode = argv[++i];
            if (mode == "on" || mode == "off")
                modes = {mode == "on"};
            else if (mode != "both")
                return usage();
        } else if (argv[i][0] == '-') {
            return usage();
        } else {
            stls.emplace_back(argv[i]);
        }
    }
    return slicing(argc, argv, stls, modes, check);
}

// Speed and memory of slicing; run by hand (see compare_prusaslicer.sh),
// not by ctest.
//
// Usage:
//   kalo3d-bench [--antialias on|off|both] [STL...]
//     Slices a generated sphere and every STL given, each with and without
//     anti-aliasing (factor 2) unless --antialias says otherwise, at the
//     built-in settings (50 um layers, 1375 x 2455 pixels), as the
//     application runs it: the model manager, the slicer thread with its
//     pool and the archive. Each run has a process of its own, so that its
//     peak memory is its own.
//   kalo3d-bench --encode-only ARCHIVE
//     The floor of a slicing run's output: the time to encode the layer
//     images of ARCHIVE (a .cws the slicer wrote) as PNG again and write
//     them into a new archive, with the slicer's encoder, compression, pool
//     and lock. The images are decoded beforehand, in batches, untimed.
//   kalo3d-bench --supports STL
//     Automatic supports for the model: the time of KaloModel::addSupportAuto
//     and the number of columns it placed.

#include "common/TestMeshes.h"
#include "settings/KaloConfig.h"
#include "slicing/PngEncoder.h"
#include "slicing/ZipEntry.h"
#include "workspace/KaloModel.h"
#include "workspace/Model.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMutex>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QUrl>

#include <quazip.h>
#include <quazipfile.h>

#include <cstdio>
#include <cstring>
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

bool load(KaloModel &manager, const std::string &stl)
{
    const QString path = QString::fromStdString(stl);
    if (manager.loadModel(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())))
        return true;
    std::fprintf(stderr, "kalo3d-bench: cannot load %s\n", stl.c_str());
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

    QTemporaryDir dir;
    QEventLoop loop;
    QObject::connect(&manager, &KaloModel::sliceCompletedProgress, &loop, [&loop](float ratio) {
        if (ratio > 1)
            loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    manager.sliceTo(dir.filePath(QStringLiteral("bench.cws")));
    loop.exec();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!manager.sliceError().isEmpty()) {
        std::fprintf(stderr, "kalo3d-bench: %s\n", qPrintable(manager.sliceError()));
        return 1;
    }

    const int layers = manager.sliceNumber();
    std::printf("%-34s %-6s %7d %9.2f %10.1f %9.1f %9.2f\n", qPrintable(name), c.antiAliasing ? "x2" : "off",
                layers, seconds, layers / seconds, peakMegabytes(),
                double(QFileInfo(dir.filePath(QStringLiteral("bench.cws"))).size()) / 1e6);
    std::fflush(stdout);
    return 0;
}

int slicing(int argc, char *argv[], const std::vector<std::string> &stls, const std::vector<bool> &modes)
{
    std::printf("%d logical processors\n", int(sysconf(_SC_NPROCESSORS_ONLN)));
    std::printf("%-34s %-6s %7s %9s %10s %9s %9s\n", "model", "AA", "layers", "wall s", "layers/s", "peak MB",
                "cws MB");
    std::fflush(stdout);
    int status = 0;
    for (const std::string &stl : stls) {
        for (bool antiAliasing : modes) {
            // Forked before any Qt object exists, so the child starts clean.
            const pid_t child = fork();
            if (child == 0)
                _exit(runCase(argc, argv, {stl, antiAliasing}));
            int childStatus = 0;
            waitpid(child, &childStatus, 0);
            if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0)
                status = 1;
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
    QuaZip target(dir.filePath(QStringLiteral("floor.cws")));
    target.open(QuaZip::mdCreate);
    QThreadPool pool;
    QMutex mutex;
    // As many images at once as keep the pool busy without holding a whole
    // run's images in memory.
    const int batch = 64;
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
    };
    for (bool more = source.goToFirstFile(); more; more = source.goToNextFile()) {
        const QString name = source.getCurrentFileName();
        if (!name.endsWith(QLatin1String(".png")))
            continue;
        QuaZipFile file(&source);
        file.open(QIODevice::ReadOnly);
        layers.push_back({name, QImage::fromData(file.readAll(), "PNG")});
        if (layers.size() == batch)
            encodeBatch();
    }
    encodeBatch();
    QElapsedTimer timer;
    timer.start();
    target.close();
    nanoseconds += timer.nsecsElapsed();
    std::printf("encode and write %d layers: %.2f s\n", count, double(nanoseconds) / 1e9);
    return 0;
}

int supports(int argc, char *argv[], const std::string &stl)
{
    QGuiApplication app(argc, argv);
    KaloConfig settings(QString(), true);
    settings.updateBuildConfig();
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
    manager.addSupportAuto(0);
    loop.exec();
    std::printf("automatic supports for %s: %d columns in %.2f s, peak %.1f MB\n",
                qPrintable(QFileInfo(QString::fromStdString(stl)).fileName()), manager.models().size() - 1,
                double(timer.nsecsElapsed()) / 1e9, peakMegabytes());
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: kalo3d-bench [--antialias on|off|both] [STL...]\n"
                         "       kalo3d-bench --encode-only ARCHIVE\n"
                         "       kalo3d-bench --supports STL\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(dropDebugMessages);
    if (argc == 3 && std::strcmp(argv[1], "--encode-only") == 0) {
        QGuiApplication app(argc, argv);
        return encodeOnly(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && std::strcmp(argv[1], "--supports") == 0)
        return supports(argc, argv, argv[2]);

    std::vector<std::string> stls{std::string()};
    std::vector<bool> modes{true, false};
    for (int i = 1; i < argc; ++i) {
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
    return slicing(argc, argv, stls, modes);
}

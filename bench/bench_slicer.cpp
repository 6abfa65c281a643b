// Speed and memory of a whole slicing run: the model manager, the slicer
// thread with its pool and the archive, as the application runs them.
//
// Usage: kalo3d-bench [--antialias on|off|both] [STL...]
// Slices a generated sphere and every STL given, each with and without
// anti-aliasing (factor 2) unless --antialias says otherwise, at the built-in
// settings (50 um layers, 1375 x 2455 pixels). Each run has a process of its
// own, so that its peak memory is its own.

#include "common/TestMeshes.h"
#include "settings/KaloConfig.h"
#include "workspace/KaloModel.h"
#include "workspace/Model.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QUrl>

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

// Runs on the child process; returns its exit status.
int runCase(int argc, char *argv[], const Case &c)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(dropDebugMessages);
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
        const QString path = QString::fromStdString(c.stl);
        if (!manager.loadModel(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()))) {
            std::fprintf(stderr, "kalo3d-bench: cannot load %s\n", c.stl.c_str());
            return 1;
        }
        name = QStringLiteral("%1, %2 tri").arg(QFileInfo(path).fileName())
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

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const int layers = manager.sliceNumber();
    std::printf("%-34s %-6s %7d %9.2f %10.1f %9.1f %9.2f\n", qPrintable(name), c.antiAliasing ? "x2" : "off",
                layers, seconds, layers / seconds, double(usage.ru_maxrss) / 1024.0,
                double(QFileInfo(dir.filePath(QStringLiteral("bench.cws"))).size()) / 1e6);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    std::vector<std::string> stls{std::string()};
    std::vector<bool> modes{true, false};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--antialias") == 0 && i + 1 < argc) {
            const std::string mode = argv[++i];
            if (mode == "on" || mode == "off")
                modes = {mode == "on"};
            else if (mode != "both")
                return std::fprintf(stderr, "kalo3d-bench: --antialias on|off|both\n"), 2;
        } else if (argv[i][0] == '-') {
            return std::fprintf(stderr, "usage: kalo3d-bench [--antialias on|off|both] [STL...]\n"), 2;
        } else {
            stls.emplace_back(argv[i]);
        }
    }

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

// libFuzzer harness of model import: every input is written as an STL file
// and goes through ModelFuzz::run, the user's way of loading a model, then
// the bounds and one layer of what loaded. Build as fuzz_projectfile.cpp
// tells; write the seeds, then fuzz, e.g. for a minute:
//   build-fuzz/tests/fuzz_modelfile -write_seeds=corpus
//   build-fuzz/tests/fuzz_modelfile -max_total_time=60 -timeout=10 corpus

#include "fuzz/ModelFuzzTarget.h"
#include "settings/KaloConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

QString g_inputPath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qInstallMessageHandler(dropMessage);
    static QCoreApplication app(*argc, *argv);
    static KaloConfig settings(QString(), true);
    settings.useAntialise(false);
    static QTemporaryDir inputs;
    g_inputPath = inputs.filePath(QStringLiteral("input.stl"));

    const char *option = "-write_seeds=";
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp((*argv)[i], option, std::strlen(option)) != 0)
            continue;
        const QDir corpus(QString::fromLocal8Bit((*argv)[i] + std::strlen(option)));
        corpus.mkpath(QStringLiteral("."));
        const QList<QByteArray> seeds = ModelFuzz::seeds();
        for (int k = 0; k < seeds.size(); ++k) {
            QFile file(corpus.filePath(QStringLiteral("seed%1.stl").arg(k)));
            if (!file.open(QIODevice::WriteOnly) || file.write(seeds[k]) != seeds[k].size())
                std::exit(1);
        }
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ModelFuzz::run(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)), g_inputPath);
    return 0;
}

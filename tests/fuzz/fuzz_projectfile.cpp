// libFuzzer harness of the project reader: every input goes through
// ProjectFuzz::run, under AddressSanitizer, which also reports leaks.
//
// Build with clang (the whole core instrumented):
//   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DKALO3D_FUZZ=ON \
//         -DCMAKE_CXX_FLAGS="-fsanitize=address,fuzzer-no-link -fno-omit-frame-pointer"
//   cmake --build build-fuzz --target fuzz_projectfile
// Write the valid projects the mutations start from, then fuzz, e.g. for a minute:
//   build-fuzz/tests/fuzz_projectfile -write_seeds=corpus
//   build-fuzz/tests/fuzz_projectfile -max_total_time=60 -timeout=10 corpus

#include "fuzz/ProjectFuzzTarget.h"
#include "settings/KaloConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qInstallMessageHandler(dropMessage);
    static QCoreApplication app(*argc, *argv);
    static KaloConfig settings(QString(), true);
    const char *option = "-write_seeds=";
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp((*argv)[i], option, std::strlen(option)) != 0)
            continue;
        const QDir corpus(QString::fromLocal8Bit((*argv)[i] + std::strlen(option)));
        corpus.mkpath(QStringLiteral("."));
        const QList<QByteArray> seeds = ProjectFuzz::seeds();
        for (int k = 0; k < seeds.size(); ++k) {
            QFile file(corpus.filePath(QStringLiteral("seed%1.kalo3d").arg(k)));
            if (!file.open(QIODevice::WriteOnly) || file.write(seeds[k]) != seeds[k].size())
                std::exit(1);
        }
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ProjectFuzz::run(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    return 0;
}

// libFuzzer harness of the settings file: every input goes through
// SettingsFuzz::run, which reads it as the settings file and hands its
// values to where the program takes them. Build as fuzz_projectfile.cpp
// tells; write the seeds, then fuzz, e.g. for a minute:
//   build-fuzz/tests/fuzz_settings -write_seeds=corpus
//   build-fuzz/tests/fuzz_settings -max_total_time=60 -timeout=10 corpus

#include "fuzz/SettingsFuzzTarget.h"

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

QString g_settingsPath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qInstallMessageHandler(dropMessage);
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir inputs;
    g_settingsPath = inputs.filePath(QStringLiteral("slice.custom.conf"));

    const char *option = "-write_seeds=";
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp((*argv)[i], option, std::strlen(option)) != 0)
            continue;
        const QDir corpus(QString::fromLocal8Bit((*argv)[i] + std::strlen(option)));
        corpus.mkpath(QStringLiteral("."));
        const QList<QByteArray> seeds = SettingsFuzz::seeds();
        for (int k = 0; k < seeds.size(); ++k) {
            QFile file(corpus.filePath(QStringLiteral("seed%1.conf").arg(k)));
            if (!file.open(QIODevice::WriteOnly) || file.write(seeds[k]) != seeds[k].size())
                std::exit(1);
        }
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SettingsFuzz::run(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)), g_settingsPath);
    return 0;
}

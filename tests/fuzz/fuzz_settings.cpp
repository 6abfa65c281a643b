// libFuzzer harness of the settings file: every input goes through
// SettingsFuzz::run, which reads it as the settings file and hands its
// values to where the program takes them. Build as fuzz_projectfile.cpp
// tells; write the seeds, then fuzz, e.g. for a minute:
//   build-fuzz/tests/fuzz_settings -write_seeds=corpus
//   build-fuzz/tests/fuzz_settings -max_total_time=60 -timeout=10 corpus

#include "fuzz/FuzzHarness.h"
#include "fuzz/SettingsFuzzTarget.h"

#include <QTemporaryDir>

#include <cstdint>

namespace {

QString g_settingsPath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzHarness::start(argc, argv);
    static QTemporaryDir inputs;
    g_settingsPath = inputs.filePath(QStringLiteral("slice.custom.conf"));
    FuzzHarness::writeSeedsIfAsked(*argc, *argv, SettingsFuzz::seeds, "conf");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SettingsFuzz::run(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)), g_settingsPath);
    return 0;
}

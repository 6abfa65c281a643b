// libFuzzer harness of model import: every input is written as an STL file
// and goes through ModelFuzz::run, the user's way of loading a model, then
// the bounds and one layer of what loaded. Build as fuzz_projectfile.cpp
// tells; write the seeds, then fuzz, e.g. for a minute:
//   build-fuzz/tests/fuzz_modelfile -write_seeds=corpus
//   build-fuzz/tests/fuzz_modelfile -max_total_time=60 -timeout=10 corpus

#include "fuzz/FuzzHarness.h"
#include "fuzz/ModelFuzzTarget.h"
#include "settings/KaloConfig.h"

#include <QTemporaryDir>

#include <cstdint>

namespace {

QString g_inputPath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzHarness::start(argc, argv);
    static KaloConfig settings(QString(), true);
    settings.useAntialise(false);
    static QTemporaryDir inputs;
    g_inputPath = inputs.filePath(QStringLiteral("input.stl"));
    FuzzHarness::writeSeedsIfAsked(*argc, *argv, ModelFuzz::seeds, "stl");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ModelFuzz::run(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)), g_inputPath);
    return 0;
}

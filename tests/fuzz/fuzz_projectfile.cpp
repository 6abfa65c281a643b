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

#include "fuzz/FuzzHarness.h"
#include "fuzz/ProjectFuzzTarget.h"
#include "settings/KaloConfig.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzHarness::start(argc, argv);
    static KaloConfig settings(QString(), true);
    FuzzHarness::writeSeedsIfAsked(*argc, *argv, ProjectFuzz::seeds, "kalo3d");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ProjectFuzz::run(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    return 0;
}

// The libFuzzer program of one target, named by TAVO_FUZZ_TARGET when it is built. A
// failed check is printed and aborts the program, so that libFuzzer keeps the input
// that broke it; so does any exception that escapes the server's code.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::TTarget* const target = fuzz::FindTarget(TAVO_FUZZ_TARGET);
    if (target == nullptr) {
        std::fprintf(stderr, "no fuzz target named %s\n", TAVO_FUZZ_TARGET);
        std::abort();
    }
    try {
        target->Entry(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const fuzz::TCheckFailure& failure) {
        std::fprintf(stderr, "==fuzz check failed== %s\n", failure.what());
        std::abort();
    }
    return 0;
}

// Part of the fuzzers' component: its log lines go nowhere unless
// TANDEM_FUZZ_LOG is set, so the fuzzer's own report stays readable.
#include <cstdlib>

#include "hosting/TandemLog.h"

namespace {

const bool quiet = [] {
    if (!std::getenv("TANDEM_FUZZ_LOG"))
        setTandemLogSink([](const char*, void*) {}, nullptr);
    return true;
}();

}  // namespace

// libFuzzer's entry for one target, chosen when the harness is built.
#include "fuzz/Fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return tl::fuzz::FUZZ_TARGET(data, size); }

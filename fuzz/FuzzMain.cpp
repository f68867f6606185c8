// The libFuzzer entry of one harness executable; VLM_FUZZ_ENTRY names its target. The engine
// traces every rejected structure to stderr: run with -close_fd_mask=2 (scripts/fuzz does) to
// drop the traces and keep the fuzzer's and sanitizers' reports.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return VLM_FUZZ_ENTRY(data, size); }

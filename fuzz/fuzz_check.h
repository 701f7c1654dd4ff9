// The fuzz targets' check: a failed one names itself and aborts, which libFuzzer records as a
// crash with its input, and a replay run (and so the test suite) reports as a failure.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond) ((cond) ? static_cast<void>(0) : ::vorm_fuzz::CheckFailed(#cond, __FILE__, __LINE__))

namespace vorm_fuzz {

[[noreturn]] inline void CheckFailed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

}  // namespace vorm_fuzz

#pragma once
// The one assertion of the fuzz targets: a failed check aborts, which the
// fuzzer reports with the input that caused it.
#include <cstdio>
#include <cstdlib>

inline void Check(bool ok, int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "check failed at line %d\n", line);
  std::abort();
}

// The fuzz targets' check: a broken property aborts, so libFuzzer keeps the
// input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Require(bool condition, const char *what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

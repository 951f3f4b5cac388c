#pragma once

#include <cstdio>
#include <cstdlib>

// Ends the fuzz run when a property that must hold does not; libFuzzer then
// keeps the input that broke it.
#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

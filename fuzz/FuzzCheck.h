#pragma once

// A broken promise of the code under fuzzing: the message goes to stderr and
// the abort makes libFuzzer keep the input that led here.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                            \
  do                                                          \
  {                                                           \
    if (!(condition))                                         \
    {                                                         \
      std::fprintf(stderr, "check failed: %s: ", #condition); \
      std::fprintf(stderr, __VA_ARGS__);                      \
      std::fprintf(stderr, "\n");                             \
      std::abort();                                           \
    }                                                         \
  } while (0)

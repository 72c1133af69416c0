// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// Invariant checks for debug builds. ZS_CHECK(condition) prints an "error: " line with the file,
// line and condition and aborts when the condition is false, so a randomized test stops at the
// first broken invariant instead of at a symptom much later. The checks run where NDEBUG is not
// defined (Debug) or where the build asks for them (the ZS_CHECKS option, on for the sanitizer
// builds); elsewhere ZS_CHECK compiles to nothing and its condition is never evaluated, so a
// check may be as costly as a walk over the whole store. Code that prepares a value only for a
// check goes under `#if ZS_CHECKS_ACTIVE`.
#if !defined(NDEBUG) || defined(ZS_CHECKS)
#define ZS_CHECKS_ACTIVE 1
#else
#define ZS_CHECKS_ACTIVE 0
#endif

#if ZS_CHECKS_ACTIVE
#include <cstdio>
#include <cstdlib>

#define ZS_CHECK(condition)                                                                         \
  do {                                                                                              \
    if (!(condition)) {                                                                             \
      std::printf("error: check failed at %s:%d: %s\n", __FILE__, __LINE__, #condition);           \
      std::fflush(stdout);                                                                          \
      std::abort();                                                                                 \
    }                                                                                               \
  } while (0)
#else
#define ZS_CHECK(condition) ((void)0)
#endif

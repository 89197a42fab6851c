#pragma once

#include <string>

// Contract checks that name the function, the source, the line and the
// condition in their report. The source name and line are given at the call
// site, so the report stays the same wherever the check sits in our files.
//
// Debug and sanitizer builds (NDEBUG not defined) print the report to stderr
// and abort, like the standard assertion facility. Release builds, which are
// what hosts load, compile the checks out: a failed contract there must never
// stop the host's process.
namespace gravel {

// "Assertion failed: (cond), function func, file source, line N."
std::string formatAssertionReport(const char* condition, const char* function,
                                  const char* source, int line);

[[noreturn]] void assertionFailed(const char* condition, const char* function,
                                  const char* source, int line);

} // namespace gravel

#ifdef NDEBUG
#define GRAVEL_ASSERT(condition, source, line) ((void)0)
#else
#define GRAVEL_ASSERT(condition, source, line)                                 \
    ((condition) ? (void)0                                                     \
                 : ::gravel::assertionFailed(#condition, __func__, source, line))
#endif

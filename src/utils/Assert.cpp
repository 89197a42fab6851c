#include "utils/Assert.h"

#include <cstdio>
#include <cstdlib>

namespace gravel {

std::string formatAssertionReport(const char* condition, const char* function,
                                  const char* source, int line)
{
    return std::string("Assertion failed: (") + condition + "), function " + function +
           ", file " + source + ", line " + std::to_string(line) + ".";
}

void assertionFailed(const char* condition, const char* function, const char* source,
                     int line)
{
    std::fprintf(stderr, "%s\n", formatAssertionReport(condition, function, source, line).c_str());
    std::fflush(stderr);
    std::abort();
}

} // namespace gravel

#include "hosting/TandemException.h"

#include <cstdio>
#include <cstring>

TandemException::TandemException(const char* text)
{
    std::snprintf(message, sizeof message, "%s", text ? text : "");
}

const char* MacOSException::what() const noexcept
{
    if (message[0] == '\0')
        std::snprintf(message, sizeof message, "Mac OS error code %d", static_cast<int>(status));
    return message;
}

#pragma once

// Failures of the effect proxy and the AudioUnit wrapper travel as these
// exceptions up to whoever drives them: the component entry logs them and
// turns them into a status, the tools into one line for the user.

#include <cstdint>
#include <exception>

class TandemException : public std::exception {
public:
    explicit TandemException(const char* message);
    const char* what() const noexcept override { return message; }

protected:
    char message[256]; // at most 255 characters, always terminated
};

// The data ended before a field that had to be read. The default message is
// the generic one; readers of chunked records name what ran short.
class EOFException : public TandemException {
public:
    explicit EOFException(const char* message = "End of file error") : TandemException(message) {}
};

class FormatException : public TandemException {
public:
    explicit FormatException(const char* message) : TandemException(message) {}
};

class MacOSException : public std::exception {
public:
    explicit MacOSException(int32_t status) : status(status) { message[0] = '\0'; }
    const char* what() const noexcept override;
    int32_t getStatus() const { return status; }

private:
    mutable char message[256]; // written on the first call of what()
    int32_t status;
};

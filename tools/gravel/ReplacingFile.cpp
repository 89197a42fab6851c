#include "ReplacingFile.h"

#include "EffectLoader.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// Temporary files an interruption must remove. A signal handler may only
// read plain memory, so the paths live in fixed buffers; a slot's flag is
// set after its path is complete and cleared before the path changes.
constexpr int slotCount = 4;
constexpr size_t pathCapacity = 4096;
char pendingPaths[slotCount][pathCapacity];
volatile sig_atomic_t pendingInUse[slotCount];

void removePendingAndDie(int signalNumber)
{
    for (int i = 0; i < slotCount; ++i)
        if (pendingInUse[i])
            ::unlink(pendingPaths[i]);
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

void removeOnInterruption()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        // An ignored signal stays ignored (nohup, background jobs).
        if (::sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_handler = removePendingAndDie;
        sigemptyset(&action.sa_mask);
        ::sigaction(signalNumber, &action, nullptr);
    }
}

int holdPending(const std::string& path)
{
    if (path.size() >= pathCapacity)
        return -1;
    for (int i = 0; i < slotCount; ++i) {
        if (!pendingInUse[i]) {
            std::memcpy(pendingPaths[i], path.c_str(), path.size() + 1);
            pendingInUse[i] = 1;
            return i;
        }
    }
    return -1;
}

void releasePending(int slot)
{
    if (slot >= 0)
        pendingInUse[slot] = 0;
}

// Where a chain of links ends; the path itself when it is no link. A link to
// a name that does not exist yet leads to that name.
std::string followLinks(const std::string& path)
{
    namespace fs = std::filesystem;
    fs::path current = path;
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(current, ec); ++hops) {
        const fs::path next = fs::read_symlink(current, ec);
        if (ec)
            break;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return current.string();
}

bool isStreamPath(const std::string& path)
{
    struct stat status {};
    return path == "-" || (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode));
}

} // namespace

ReplacingFile::ReplacingFile(const std::string& targetPath) : target(targetPath)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(target, ec))
        throw ToolError(target + " is a folder; give a file name");
    if (isStreamPath(target)) {
        openStream();
        return;
    }
    target = followLinks(target);
    const fs::path folder = fs::path(target).parent_path();
    std::string pattern =
        ((folder.empty() ? fs::path(".") : folder) / fs::path(target).filename()).string() +
        ".partial-XXXXXX";
    removeOnInterruption();
    // An interruption between making the file and holding its name
    // would leave it behind: it waits until the name is held.
    sigset_t interruptions, previous;
    sigemptyset(&interruptions);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&interruptions, signalNumber);
    ::pthread_sigmask(SIG_BLOCK, &interruptions, &previous);
    fileDescriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
    const int error = errno;
    if (fileDescriptor >= 0) {
        temporary = pattern;
        slot = holdPending(temporary);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (fileDescriptor < 0)
        throw ToolError("cannot write " + target + ": " + std::strerror(error) +
                        "; check the folder exists and is writable");
    // mkstemp makes the file private; give it what a replaced file had,
    // or what a new file gets.
    struct stat existing {};
    mode_t mode;
    if (::stat(target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 0777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fileDescriptor, mode);
}

void ReplacingFile::openStream()
{
    if (target == "-") {
        stream = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    } else {
        struct stat status {};
        ::stat(target.c_str(), &status);
        if (S_ISSOCK(status.st_mode)) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            if (target.size() < sizeof address.sun_path) {
                std::memcpy(address.sun_path, target.c_str(), target.size() + 1);
                stream = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
                if (stream >= 0 && ::connect(stream, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                    const int error = errno;
                    ::close(stream);
                    stream = -1;
                    errno = error;
                }
            } else {
                errno = ENAMETOOLONG;
            }
        } else {
            stream = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        }
    }
    if (stream < 0)
        throw ToolError("cannot write " + target + ": " + std::strerror(errno) +
                        "; check that something reads from it");
    // The file is made in memory first: the formats seek back to finish
    // their headers, which a pipe or a terminal cannot do.
    fileDescriptor = ::memfd_create("gravel-output", MFD_CLOEXEC);
    if (fileDescriptor < 0)
        fail(errno);
    temporary = "/proc/self/fd/" + std::to_string(fileDescriptor);
}

void ReplacingFile::sendToStream()
{
    if (::lseek(fileDescriptor, 0, SEEK_SET) != 0)
        fail(errno);
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fileDescriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail(errno);
        if (got == 0)
            break;
        for (ssize_t sent = 0; sent < got;) {
            const ssize_t written = ::write(stream, buffer + sent, size_t(got - sent));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                fail(written == 0 ? EIO : errno);
            sent += written;
        }
    }
}

ReplacingFile::~ReplacingFile()
{
    if (fileDescriptor >= 0)
        ::close(fileDescriptor);
    if (stream >= 0) {
        ::close(stream);
        return;
    }
    if (!committed)
        ::unlink(temporary.c_str());
    releasePending(slot);
}

void ReplacingFile::write(const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fileDescriptor, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            fail(written == 0 ? ENOSPC : errno);
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}

void ReplacingFile::commit()
{
    if (isStream()) {
        sendToStream();
        committed = true;
        return;
    }
    if (::fsync(fileDescriptor) != 0)
        fail(errno);
    const int closing = fileDescriptor;
    fileDescriptor = -1;
    if (::close(closing) != 0)
        fail(errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        fail(errno);
    committed = true;
    releasePending(slot);
    slot = -1;
}

void ReplacingFile::fail(int error) const
{
    if (isStream())
        throw ToolError("cannot write " + target + ": " + std::strerror(error) + "; check that something reads from it");
    throw ToolError("cannot write " + target + ": " + std::strerror(error) +
                    "; check there is room on the disk and the folder is writable");
}

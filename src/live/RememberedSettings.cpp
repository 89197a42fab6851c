#include "live/RememberedSettings.h"

#include "hosting/TandemException.h"
#include "hosting/VSTPlugIn.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path settingsFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const fs::path base = config && *config ? fs::path(config) : fs::path(home ? home : ".") / ".config";
    return base / "gravel" / "live";
}

// The effect's name as a file name: no folders, nothing hidden.
std::string fileNameOf(VSTPlugIn& plugIn)
{
    char name[256] = {};
    plugIn.dispatch(effGetEffectName, 0, 0, name, 0.0f);
    name[sizeof name - 1] = '\0';
    std::string text = name;
    for (char& c : text)
        if (c == '/' || c == '\\')
            c = '-';
    while (!text.empty() && text[0] == '.')
        text.erase(0, 1);
    return text.empty() ? "effect" : text;
}

bool writeAll(int fd, const unsigned char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

RememberedSettings::RememberedSettings(VSTPlugIn& plugIn)
    : plugIn(plugIn), bank(plugIn.getProgramCount() > 1),
      file((settingsFolder() / (fileNameOf(plugIn) + (bank ? ".fxb" : ".fxp"))).string())
{
}

RememberedSettings::Restored RememberedSettings::restore(std::string& problem)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return Restored::nothing;
    std::ifstream in(file, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A file that fails half way must not leave the effect half changed.
    size_t defaultsSize = 0;
    std::unique_ptr<unsigned char[]> defaults;
    try {
        defaults = plugIn.createFXB(defaultsSize);
    } catch (const TandemException&) {
    }
    try {
        if (in.bad())
            throw TandemException(std::strerror(errno));
        plugIn.loadFXPOrFXB(bytes.size(), bytes.data());
        return Restored::restored;
    } catch (const std::exception& e) {
        problem = e.what();
    }
    if (defaults) {
        try {
            plugIn.loadFXPOrFXB(defaultsSize, defaults.get());
        } catch (const TandemException&) {
        }
    }
    fs::rename(file, file + ".bad", ec);
    return Restored::setAside;
}

bool RememberedSettings::save(std::string& problem)
{
    size_t size = 0;
    std::unique_ptr<unsigned char[]> data;
    try {
        data = bank ? plugIn.createFXB(size) : plugIn.createFXP(size);
    } catch (const std::exception& e) {
        problem = e.what();
        return false;
    }
    std::error_code ec;
    fs::create_directories(settingsFolder(), ec);
    std::string temporary = file + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; settings are no secret.
    const bool written = fchmod(fd, 0644) == 0 && writeAll(fd, data.get(), size) && fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !written || std::rename(temporary.c_str(), file.c_str()) != 0) {
        problem = std::strerror(written ? errno : error);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

#include "live/RememberedSettings.h"

#include "hosting/TandemException.h"
#include "hosting/VSTPlugIn.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
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

std::string textOf(VSTPlugIn& plugIn, VstInt32 opcode)
{
    char text[256] = {};
    plugIn.dispatch(opcode, 0, 0, text, 0.0f);
    text[sizeof text - 1] = '\0';
    return text;
}

// A name as a file name: no folders, nothing hidden.
std::string asFileName(std::string text)
{
    for (char& c : text)
        if (c == '/' || c == '\\')
            c = '-';
    while (!text.empty() && text[0] == '.')
        text.erase(0, 1);
    return text.empty() ? "effect" : text;
}

// The product without its version ("Gravel Rumbledrift Overdrive v1.5.2"
// gives "Gravel Rumbledrift Overdrive"), so an upgrade starts from the sound
// the player left; the effect's name where there is no product string.
std::string settingsName(VSTPlugIn& plugIn)
{
    std::string name = textOf(plugIn, effGetProductString);
    if (name.empty())
        name = textOf(plugIn, effGetEffectName);
    const size_t v = name.rfind(" v");
    if (v != std::string::npos && v + 2 < name.size() && std::isdigit((unsigned char)name[v + 2]) &&
        name.find_first_not_of("0123456789.", v + 2) == std::string::npos)
        name.erase(v);
    return asFileName(name);
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

RememberedSettings::RememberedSettings(VSTPlugIn& plugIn) : plugIn(plugIn), bank(plugIn.getProgramCount() > 1)
{
    const std::string extension = bank ? ".fxb" : ".fxp";
    file = (settingsFolder() / (settingsName(plugIn) + extension)).string();
    // Earlier builds kept the settings under the effect's name, version and
    // all: read that file while there is no newer one, and leave it be.
    std::error_code ec;
    source = file;
    const fs::path older = settingsFolder() / (asFileName(textOf(plugIn, effGetEffectName)) + extension);
    if (!fs::exists(file, ec) && fs::is_regular_file(older, ec))
        source = older.string();
}

RememberedSettings::Restored RememberedSettings::restore(std::string& problem)
{
    std::error_code ec;
    if (!fs::is_regular_file(source, ec))
        return Restored::nothing;
    std::ifstream in(source, std::ios::binary);
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
    fs::rename(source, source + ".bad", ec);
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

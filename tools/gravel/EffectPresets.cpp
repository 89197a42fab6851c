// .fxp programs and .fxb banks given on the command line, read and written
// through the hosted effect.

#include "EffectPresets.h"

#include "EffectLoader.h"
#include "ReplacingFile.h"
#include "hosting/TandemException.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> readPresetFile(const std::string& path)
{
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw ToolError("cannot read preset " + path + ": it is a folder; give an .fxp or .fxb file");
    if (!fs::exists(path, ec))
        throw ToolError("cannot read preset " + path + ": no such file; check the path");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw ToolError("cannot read preset " + path + ": " + std::strerror(errno) +
                        "; check the path");
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(file);
    const int error = errno;
    std::fclose(file);
    if (failed)
        throw ToolError("cannot read preset " + path + ": " + std::strerror(error) +
                        "; check the path");
    return bytes;
}

} // namespace

std::string effectName(VSTPlugIn& plugIn)
{
    char name[256] = {};
    plugIn.dispatch(effGetEffectName, 0, 0, name, 0.0f);
    name[sizeof name - 1] = '\0';
    return name[0] ? name : "the effect";
}

void loadPreset(VSTPlugIn& plugIn, const std::string& path)
{
    const std::vector<unsigned char> bytes = readPresetFile(path);
    const AEffect* effect = plugIn.getEffect();
    if (bytes.size() >= 20 && std::equal(bytes.begin(), bytes.begin() + 4, "CcnK")) {
        const int id = int((uint32_t(bytes[16]) << 24) | (uint32_t(bytes[17]) << 16) |
                           (uint32_t(bytes[18]) << 8) | uint32_t(bytes[19]));
        if (id != effect->uniqueID)
            throw ToolError("preset " + path + " belongs to another effect (ID " + uniqueIDText(id) +
                            ", this one is " + uniqueIDText(effect->uniqueID) +
                            "); give a preset saved from " + effectName(plugIn));
    }
    // A preset that fails half way must not leave the effect half changed.
    size_t snapshotSize = 0;
    std::unique_ptr<unsigned char[]> snapshot;
    try {
        snapshot = plugIn.createFXB(snapshotSize);
    } catch (const TandemException&) {
    }
    try {
        if (!plugIn.loadFXPOrFXB(bytes.size(), bytes.data()))
            std::fprintf(stderr, "gravel: warning: preset %s did not load perfectly "
                                 "(run with --verbose to see why)\n",
                         path.c_str());
    } catch (const TandemException& e) {
        if (snapshot) {
            try {
                plugIn.loadFXPOrFXB(snapshotSize, snapshot.get());
            } catch (const TandemException&) {
            }
        }
        throw ToolError("cannot load preset " + path + ": " + e.what() +
                        "; give an .fxp or .fxb file saved from " + effectName(plugIn));
    }
}

void savePreset(VSTPlugIn& plugIn, const std::string& path)
{
    size_t size = 0;
    std::unique_ptr<unsigned char[]> data;
    const bool bank = fs::path(path).extension() == ".fxb";
    try {
        data = bank ? plugIn.createFXB(size) : plugIn.createFXP(size);
    } catch (const TandemException& e) {
        throw ToolError(std::string("cannot save preset: ") + e.what());
    }
    ReplacingFile file(path);
    file.write(data.get(), size);
    file.commit();
}

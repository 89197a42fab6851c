#pragma once
// What the LV2 suites share: a scratch LV2_PATH folder that holds only the
// built bundle (lilv reads every entry of its path), commands run with their
// output kept, and float WAV files in and out.
#include "../support/TemporaryFolder.h"

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace lv2test {

namespace fs = std::filesystem;

constexpr const char* kPluginURI = "https://brackenfold.example/plugins/gravel";

struct ScratchFolder {
    fs::path path;
    ScratchFolder()
    {
        std::string pattern = temporaryPattern("gravel-lv2");
        path = mkdtemp(pattern.data());
        fs::create_directory_symlink(GRAVEL_LV2_BUNDLE_DIR, path / "Gravel.lv2");
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

struct CommandResult {
    int status = -1;
    std::string out;
};

// Runs a shell command with LV2_PATH set to the scratch folder; stdout is
// kept, stderr goes to stderr.txt in the folder.
inline CommandResult run(const ScratchFolder& scratch, const std::string& command)
{
    const std::string outFile = scratch.file("stdout.txt");
    const std::string full = "LV2_PATH='" + scratch.path.string() + "' " + command + " >'" + outFile +
                             "' 2>'" + scratch.file("stderr.txt") + "'";
    const int status = std::system(full.c_str());
    CommandResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(outFile);
    std::stringstream text;
    text << in.rdbuf();
    result.out = text.str();
    return result;
}

struct Audio {
    int channels = 0;
    int rate = 0;
    std::vector<float> samples; // interleaved
    float at(size_t frame, int channel) const { return samples[frame * channels + channel]; }
    size_t frames() const { return channels ? samples.size() / channels : 0; }
};

inline bool writeFloatWav(const std::string& path, const Audio& audio)
{
    SF_INFO info{};
    info.channels = audio.channels;
    info.samplerate = audio.rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const sf_count_t frames = sf_count_t(audio.frames());
    const bool ok = sf_writef_float(file, audio.samples.data(), frames) == frames;
    sf_close(file);
    return ok;
}

inline Audio readWav(const std::string& path)
{
    Audio audio;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return audio;
    audio.channels = info.channels;
    audio.rate = info.samplerate;
    audio.samples.resize(size_t(info.frames) * info.channels);
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

} // namespace lv2test

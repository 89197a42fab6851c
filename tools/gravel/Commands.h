#pragma once

#include <string>
#include <utility>
#include <vector>

// Exit codes of the tool.
enum ExitCode { exitOK = 0, exitFailed = 1, exitUsage = 2 };

struct RenderOptions {
    std::string input;  // empty: the built-in demo riff
    std::string output; // empty: IN with "-gravel" added, or gravel-demo.wav; "-": standard output
    std::string format; // --format NAME (wav, flac, aiff, ogg, caf, w64, rf64); empty: from OUT's name or IN
    std::string bits;   // --bits 16|24|32f; empty: IN's, where the format holds it
    std::vector<std::pair<std::string, std::string>> settings; // --set NAME=VALUE, in order
    std::string preset;      // --preset FILE.fxp|.fxb, or a factory preset's name
    std::string savePreset;  // --save-preset FILE.fxp|.fxb
    int blockSize = 512;
    std::string plugin;      // empty: the built Gravel.vst
    bool au = false;         // through the bundle's AudioUnit instead of its VST entry
    bool clap = false;       // through Gravel.clap's CLAP entry instead
    std::string auPreset;     // --aupreset FILE.aupreset (through the AudioUnit)
    std::string saveAuPreset; // --save-aupreset FILE.aupreset
};

struct SnapshotOptions {
    std::string output; // empty: gravel-front.png or gravel-back.png
    bool back = false;  // the back panel instead of the front
    bool au = false;    // through the AudioUnit's view instead of the VST editor
    std::vector<std::pair<std::string, std::string>> settings; // --set NAME=VALUE
    std::string plugin; // empty: the built Gravel.vst
};

// Each prints its own result and its errors (one line on stderr) and
// returns the exit code.
int runRender(const RenderOptions& options);
int runInfo(const std::string& plugin, const std::vector<std::pair<std::string, std::string>>& settings);
int runPresets();
int runSnapshot(const SnapshotOptions& options);
// gravel au-info [--plugin PATH] [-v]: parses its own arguments (argv[2] on).
int runAudioUnitInfo(int argc, char** argv);
int runAudioUnitSnapshot(const SnapshotOptions& options, bool verbose);
int runAudioUnitRender(const RenderOptions& options, bool verbose);
// Through a CLAP plug-in (--clap; --plugin then names the .clap file).
int runClapRender(const RenderOptions& options);
int runClapInfo(const std::string& plugin);
// gravel live [options]: parses its own arguments (argv[2] on).
int runLive(int argc, char** argv);

// The effect to load: the one given, else the Gravel.vst built next to the
// tool. Throws ToolError when there is none.
std::string chosenPlugin(const std::string& given);

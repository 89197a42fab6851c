#include "Commands.h"

#include "EffectLoader.h"
#include "ParameterMatch.h"

#include <cstdio>
#include <filesystem>

std::string chosenPlugin(const std::string& given)
{
    if (!given.empty())
        return given;
    const std::string built = defaultPluginPath();
    if (built.empty())
        throw ToolError("no Gravel.vst next to gravel; build it (cmake --build build) "
                        "or give --plugin PATH");
    return built;
}

namespace {

std::string text(VSTPlugIn& plugIn, VstInt32 opcode)
{
    char buffer[256] = {};
    plugIn.dispatch(opcode, 0, 0, buffer, 0.0f);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

} // namespace

int runInfo(const std::string& plugin, const Settings& settings)
{
    try {
        const std::string path = chosenPlugin(plugin);
        LoadedEffect loaded(path, 44100.0f, 512);
        VSTPlugIn& plugIn = loaded.plugIn();
        const AEffect* effect = plugIn.getEffect();
        VSTParameterAccess parameters(plugIn);
        applySettings(parameters, settings);

        std::string name = text(plugIn, effGetEffectName);
        std::printf("%s\n", name.empty() ? "(unnamed effect)" : name.c_str());
        std::printf("  vendor   %s\n", text(plugIn, effGetVendorString).c_str());
        std::printf("  product  %s\n", text(plugIn, effGetProductString).c_str());
        std::printf("  version  %ld (vendor), %d (effect), VST %ld\n",
                    static_cast<long>(plugIn.dispatch(effGetVendorVersion, 0, 0, nullptr, 0.0f)),
                    effect->version, static_cast<long>(plugIn.getVersion()));
        std::printf("  ID       %s\n", uniqueIDText(effect->uniqueID).c_str());
        std::printf("  audio    %d in, %d out, latency %d samples%s%s%s\n", plugIn.getInputCount(),
                    plugIn.getOutputCount(), plugIn.getInitialDelay(),
                    plugIn.hasEditor() ? ", editor" : "",
                    plugIn.hasProgramChunks() ? ", chunk presets" : "",
                    plugIn.canProcessReplacing() ? "" : ", no processReplacing");
        std::printf("  file     %s\n", std::filesystem::absolute(path).string().c_str());

        std::printf("Parameters (%d):\n", plugIn.getParameterCount());
        for (int i = 0; i < plugIn.getParameterCount(); ++i) {
            char paramName[32] = {}, display[32] = {}, label[32] = {};
            plugIn.getParameterName(i, paramName);
            plugIn.getParameterDisplay(i, display);
            plugIn.getParameterLabel(i, label);
            std::printf("  %3d  %-24s %8s %-6s (%.3f)\n", i, paramName, display, label,
                        plugIn.getParameter(i));
        }

        const int current = plugIn.getCurrentProgram();
        std::printf("Programs (%d):\n", plugIn.getProgramCount());
        for (int i = 0; i < plugIn.getProgramCount(); ++i) {
            char programName[32] = {};
            if (!plugIn.getProgramName(i, programName) && i == current)
                plugIn.getCurrentProgramName(programName);
            std::printf("  %3d  %s%s\n", i, programName[0] ? programName : "(unnamed)",
                        i == current ? "  (current)" : "");
        }
        return exitOK;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
        return exitFailed;
    }
}

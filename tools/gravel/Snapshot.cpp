#include "Commands.h"

#include "EffectLoader.h"
#include "ParameterMatch.h"
#include "ReplacingFile.h"
#include "editor/EditorSnapshot.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr int gravelUniqueID = ('G' << 24) | ('R' << 16) | ('V' << 8) | '7';

// The editor's effect lives in this program, with no host around it: answer
// the version question and nothing else.
VstIntPtr snapshotHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct CloseEffect {
    void operator()(AEffect* e) const { e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f); }
};

} // namespace

int runSnapshot(const SnapshotOptions& options)
{
    try {
        const std::string plugin = chosenPlugin(options.plugin);
        const fs::path bundle = fs::path(plugin).lexically_normal();
        if (!fs::is_directory(bundle / "Contents" / "Resources"))
            throw ToolError(plugin + " is not a Gravel.vst bundle folder; give --plugin the "
                                     "bundle, not its .so");

        // Settings are read in the loaded effect's own terms, exactly as
        // render reads them, then mirrored into the editor's effect.
        LoadedEffect loaded(plugin, 44100.0f, 512);
        VSTPlugIn& plugIn = loaded.plugIn();
        if (!plugIn.getEffect() || plugIn.getEffect()->uniqueID != gravelUniqueID)
            throw ToolError(plugin + " is not Gravel; snapshot draws Gravel's own pedal editor");
        VSTParameterAccess parameters(plugIn);
        applySettings(parameters, options.settings);

        std::unique_ptr<AEffect, CloseEffect> effect(
            gravel::createEffectWithEditor(snapshotHost, bundle.string()));
        if (!effect)
            throw ToolError("could not make the effect for the editor");
        for (VstInt32 i = 0; i < effect->numParams; ++i)
            effect->setParameter(effect.get(), i, plugIn.getParameter(i));

        const std::string output =
            options.output.empty() ? (options.back ? "gravel-back.png" : "gravel-front.png")
                                   : options.output;
        ReplacingFile picture(output);
        std::string error;
        if (!gravel::renderEditorSnapshot(effect.get(), options.back,
                                          picture.temporaryPath().c_str(), &error))
            throw ToolError("cannot draw the editor into " + output + ": " + error +
                            "; check there is room on the disk and the folder is writable");
        picture.commit();
        std::printf("gravel: wrote %s (%s panel of the pedal)\n", fs::absolute(output).c_str(),
                    options.back ? "back" : "front");
        return exitOK;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
        return exitFailed;
    }
}

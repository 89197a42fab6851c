// gravel live: the effect played live as a JACK client, with its editor in a
// window, through the same hosting layer as gravel render.

#include "Commands.h"

#include "EffectLoader.h"
#include "EffectPresets.h"
#include "ParameterMatch.h"
#include "hosting/TandemLog.h"
#include "live/LiveClient.h"
#include "live/LiveProcessor.h"
#include "live/LiveWindow.h"
#include "live/MidiControlMap.h"
#include "live/RememberedSettings.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const liveHelp =
    "Usage: gravel live [--plugin PATH] [--name NAME] [--server NAME]\n"
    "                   [--in PORT[,PORT]] [--out PORT[,PORT]] [--no-connect]\n"
    "                   [--preset FILE] [--set NAME=VALUE]... [--cc [CH:]NUMBER=NAME]...\n"
    "                   [--no-gui] [-v]\n"
    "\n"
    "Plays the effect live as a JACK client (on jackd, or on PipeWire through\n"
    "'pw-jack gravel live'), with its pedal in a window. Ports: in_1, in_2,\n"
    "out_1, out_2 (one per effect pin) and midi_in. Ctrl-C or closing the window\n"
    "ends it; the settings are saved for the next start in\n"
    "$XDG_CONFIG_HOME/gravel/live/ (default ~/.config/gravel/live/).\n"
    "\n"
    "  --plugin PATH      VST 2.4 bundle folder or .so (default: the built Gravel.vst)\n"
    "  --name NAME        JACK client name (default Gravel)\n"
    "  --server NAME      JACK server to join (default: JACK's environment)\n"
    "  --in PORT[,PORT]   ports feeding in_1, in_2 (default: the first capture\n"
    "                     port into in_1: a guitar in the first input)\n"
    "  --out PORT[,PORT]  ports out_1, out_2 play to (default: the first two\n"
    "                     playback ports)\n"
    "  --no-connect       leave every port unconnected\n"
    "  --preset FILE      start from an .fxp program or .fxb bank instead of the\n"
    "                     saved settings\n"
    "  --set NAME=VALUE   set a parameter after that, as for render\n"
    "  --cc [CH:]NUMBER=NAME  a MIDI control change (any channel, or channel CH)\n"
    "                     drives a parameter: switches turn on at 64 and up, other\n"
    "                     parameters take value/127. Defaults: 11=drive\n"
    "                     (expression pedal), 64=bypass (footswitch)\n"
    "  --no-gui           no window (headless rigs)\n"
    "  -v, --verbose      DSP load and xruns every few seconds\n";

std::vector<std::string> commaList(const std::string& text)
{
    std::vector<std::string> items;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        items.push_back(text.substr(start, comma - start));
    items.push_back(text.substr(start));
    return items;
}

struct LiveOptions {
    std::string plugin, name = "Gravel", server, preset;
    LiveConnections connections;
    Settings settings;
    std::vector<ControlBinding> controls;
    bool gui = true;
    bool verbose = false;
};

// Exit code when the arguments were wrong or --help, else -1.
int parseArguments(int argc, char** argv, LiveOptions& options)
{
    auto usage = [](const std::string& message) {
        std::fprintf(stderr, "gravel: %s; see 'gravel live --help'\n", message.c_str());
        return int(exitUsage);
    };
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string text;
        // Options that take a value accept it as the next argument or after '='.
        auto value = [&](const char* name, std::string& into) {
            const std::string prefix = std::string(name) + "=";
            if (arg.compare(0, prefix.size(), prefix) == 0)
                into = arg.substr(prefix.size());
            else if (arg == name && i + 1 < argc)
                into = argv[++i];
            else if (arg == name)
                throw std::string(name) + " needs a value";
            else
                return false;
            return true;
        };
        try {
            if (arg == "--help" || arg == "-h") {
                std::fputs(liveHelp, stdout);
                return exitOK;
            } else if (arg == "-v" || arg == "--verbose") {
                options.verbose = true;
            } else if (arg == "--no-gui") {
                options.gui = false;
            } else if (arg == "--no-connect") {
                options.connections.connect = false;
            } else if (value("--plugin", options.plugin) || value("--name", options.name) ||
                       value("--server", options.server) || value("--preset", options.preset)) {
            } else if (value("--in", text)) {
                options.connections.in = commaList(text);
            } else if (value("--out", text)) {
                options.connections.out = commaList(text);
            } else if (value("--set", text)) {
                const size_t eq = text.find('=');
                if (eq == std::string::npos)
                    return usage("--set takes NAME=VALUE, for example --set drive=7.5");
                options.settings.emplace_back(text.substr(0, eq), text.substr(eq + 1));
            } else if (value("--cc", text)) {
                ControlBinding binding;
                std::string error;
                if (!parseControlBinding(text, binding, error))
                    return usage(error);
                options.controls.push_back(binding);
            } else {
                return usage("unknown option '" + arg + "'");
            }
        } catch (const std::string& message) {
            return usage(message);
        }
    }
    if (options.name.empty())
        return usage("--name needs a client name");
    return -1;
}

// The default bindings where the effect has their parameters, then --cc's,
// which must all fit.
void bindControls(MidiControlMap& map, ParameterAccess& parameters, const std::vector<ControlBinding>& given)
{
    const std::vector<std::string> names = parameterNames(parameters);
    for (const ControlBinding& binding : defaultControlBindings()) {
        std::string error;
        const int index = findParameter(names, binding.parameter, error);
        if (index >= 0)
            map.bind(binding.channel, binding.controller, index, isSwitch(parameters, index));
    }
    for (const ControlBinding& binding : given) {
        std::string error;
        const int index = findParameter(names, binding.parameter, error);
        if (index < 0)
            throw ToolError("--cc " + std::to_string(binding.controller) + ": " + error);
        map.bind(binding.channel, binding.controller, index, isSwitch(parameters, index));
    }
}

std::string duration(double seconds)
{
    const long total = long(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    return text;
}

int play(const LiveOptions& options)
{
    // SIGINT and SIGTERM are taken by the main loop alone: every thread made
    // from here on (JACK's, the editor's) inherits the blocked mask.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGINT);
    sigaddset(&endSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);

    LiveClient client(options.name, options.server);
    LoadedEffect loaded(chosenPlugin(options.plugin), float(client.sampleRate()), client.bufferSize());
    VSTPlugIn& plugIn = loaded.plugIn();
    if (plugIn.getOutputCount() < 1)
        throw ToolError("the effect has no outputs; give --plugin an audio effect");
    const std::string name = effectName(plugIn);

    RememberedSettings remembered(plugIn);
    if (!options.preset.empty()) {
        loadPreset(plugIn, options.preset);
    } else {
        std::string problem;
        if (remembered.restore(problem) == RememberedSettings::Restored::setAside)
            std::fprintf(stderr, "gravel: the saved settings %s are damaged (%s); kept as %s.bad, starting from %s's defaults\n",
                         remembered.restoredFrom().c_str(), problem.c_str(), remembered.restoredFrom().c_str(), name.c_str());
    }
    VSTParameterAccess parameters(plugIn);
    applySettings(parameters, options.settings);
    MidiControlMap controls;
    bindControls(controls, parameters, options.controls);

    LiveProcessor processor(plugIn, controls);
    processor.configure(client.sampleRate(), client.bufferSize());
    client.attach(processor, name);

    std::unique_ptr<LiveWindow> window;
    if (options.gui && plugIn.hasEditor()) {
        const char* display = std::getenv("DISPLAY");
        if (display && *display)
            window = std::make_unique<LiveWindow>(plugIn, name);
        if (!window || !window->isOpen()) {
            std::fprintf(stderr, "gravel: no display to show the pedal on%s; playing without the window (--no-gui)\n",
                         display && *display ? (std::string(" (cannot open ") + display + ")").c_str() : "");
            window.reset();
        }
    }
    client.start(options.connections);
    std::fprintf(stderr, "gravel: playing %s at %.0f Hz, %d frames a block; Ctrl-C%s ends\n", name.c_str(),
                 client.sampleRate(), client.bufferSize(), window ? " or closing the window" : "");

    const auto started = std::chrono::steady_clock::now();
    auto lastStatus = started;
    const timespec tick = {0, 20 * 1000 * 1000};
    for (;;) {
        if (sigtimedwait(&endSignals, nullptr, &tick) > 0 || client.serverStopped() || (window && !window->idle()))
            break;
        const auto now = std::chrono::steady_clock::now();
        if (options.verbose && now - lastStatus >= std::chrono::seconds(3)) {
            std::fprintf(stderr, "gravel: DSP load %.1f%%, %ld xruns\n", client.dspLoad(), client.xruns());
            lastStatus = now;
        }
    }
    const bool serverStopped = client.serverStopped();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    client.stop();
    processor.stop();
    window.reset();
    if (serverStopped)
        std::fprintf(stderr, "gravel: the JACK server stopped\n");
    std::string problem;
    const bool saved = remembered.save(problem);
    if (!saved)
        std::fprintf(stderr, "gravel: cannot save the settings to %s: %s; check that the folder is writable\n",
                     remembered.path().c_str(), problem.c_str());
    const long long bad = processor.nonFiniteSamples();
    std::fprintf(stderr, "gravel: played %s, %ld xruns%s\n", duration(seconds).c_str(), client.xruns(),
                 bad ? (", " + std::to_string(bad) + " non-finite output samples (silenced)").c_str() : "");
    return serverStopped || !saved ? exitFailed : exitOK;
}

void quietLog(const char*, void*) {}

} // namespace

int runLive(int argc, char** argv)
{
    LiveOptions options;
    const int parsed = parseArguments(argc, argv, options);
    if (parsed >= 0)
        return parsed;
    // The host layer's log of every call is for render's -v; live's -v is its status.
    setTandemLogSink(quietLog, nullptr);
    try {
        return play(options);
    } catch (const ToolError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
    } catch (const LiveError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
    }
    return exitFailed;
}

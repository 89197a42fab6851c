// gravel: renders audio files through a VST 2.4 effect (by default the
// Gravel.vst built beside it), loading it exactly as a host does.

#include "Commands.h"

#include "hosting/TandemLog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

namespace {

const char* const mainHelp =
    "Usage: gravel COMMAND [OPTIONS]\n"
    "\n"
    "Renders audio through the Gravel overdrive (or another VST 2.4 effect),\n"
    "loading it exactly as a plug-in host does.\n"
    "\n"
    "Commands:\n"
    "  render [IN]   process an audio file (without IN: a built-in guitar riff)\n"
    "  info          show the effect's identity, parameters and programs\n"
    "  presets       list the factory presets with their settings\n"
    "  snapshot      draw the pedal editor into a PNG file, no host needed\n"
    "  au-info       show the bundle as an AudioUnit host sees it\n"
    "  live          play the effect live as a JACK client, with the pedal window\n"
    "\n"
    "Run 'gravel help COMMAND' (or 'gravel COMMAND --help') for the options of\n"
    "each command, 'gravel --version' for the version.\n";

const char* const renderHelp =
    "Usage: gravel render [IN] [-o OUT] [--format NAME] [--bits 16|24|32f]\n"
    "                     [--set NAME=VALUE]... [--preset FILE] [--save-preset FILE]\n"
    "                     [--block N] [--plugin PATH] [--au] [-v]\n"
    "                     [--aupreset FILE] [--save-aupreset FILE] [--clap]\n"
    "\n"
    "Processes IN (any mono or stereo file libsndfile reads) through the effect\n"
    "at IN's sample rate. Without IN, renders a few seconds of a built-in clean\n"
    "guitar part into gravel-demo.wav.\n"
    "\n"
    "  -o, --output OUT      output file (default: IN with -gravel added; the\n"
    "                        input file is never overwritten). A file is replaced\n"
    "                        only once the render is complete; through a link,\n"
    "                        the file it points to. A device, FIFO or socket is\n"
    "                        written as a stream; '-' is standard output\n"
    "  --format NAME         wav, flac, aiff, ogg, caf, w64 or rf64 (default: the\n"
    "                        one OUT's extension names, else IN's format; WAV for\n"
    "                        '-'); OUT's extension must not name another format\n"
    "  --bits 16|24|32f      sample format of OUT (default: IN's where it fits)\n"
    "  --set NAME=VALUE      set a parameter before rendering; repeatable.\n"
    "                        NAME is the effect's parameter name in any case: the\n"
    "                        exact name (drive, \"input level\"), else the one name\n"
    "                        that starts with it or has a word that does (over,\n"
    "                        mode); a NAME that fits more than one (in: Input\n"
    "                        Level or In Buffer) is refused with the candidates.\n"
    "                        VALUE is what the pedal shows: drive=7.5, \"input\n"
    "                        level=1\" (1.00x), oversampling=8 (or 8x), mode=stereo;\n"
    "                        on/off, yes/no, true/false or 1/0 for switches; or a\n"
    "                        position on the control's travel: drive=75%\n"
    "  --preset NAME|FILE    start from a factory preset (gravel presets lists\n"
    "                        them: --preset crunch), or load an .fxp program or\n"
    "                        .fxb bank\n"
    "  --save-preset FILE    save the settings as .fxp (or .fxb) before rendering\n"
    "  --block N             frames per processing block (default 512)\n"
    "  --plugin PATH         VST 2.4 bundle folder or .so (default: the built\n"
    "                        Gravel.vst next to this program)\n"
    "  --au                  render through the bundle's AudioUnit, as an AudioUnit\n"
    "                        host does; --set then takes the AudioUnit's names and\n"
    "                        values (gravel au-info lists them), read as above;\n"
    "                        .fxp/.fxb presets need the VST entry\n"
    "  --aupreset FILE       load an .aupreset (as saved by an AudioUnit host or\n"
    "                        --save-aupreset) into the AudioUnit first; implies --au\n"
    "  --save-aupreset FILE  save the AudioUnit's state as an .aupreset before\n"
    "                        rendering; implies --au\n"
    "  --clap                render through Gravel.clap's CLAP entry (--plugin then\n"
    "                        names the .clap file); the same samples as the VST entry\n"
    "  -v, --verbose         show the host's log of every call into the effect\n"
    "\n"
    "Stereo files are rendered in stereo mode unless --set mode=mono or a preset\n"
    "says otherwise. The summary names every setting that differs from the\n"
    "effect's defaults and counts output samples that are NaN or infinite; when\n"
    "there are any, gravel exits with 1 and writes nothing. An empty input, or\n"
    "one cut short of what its header promises, is refused the same way.\n";

const char* const infoHelp =
    "Usage: gravel info [--set NAME=VALUE]... [--plugin PATH] [--clap] [-v]\n"
    "\n"
    "Shows the effect's name, vendor, version and ID, its parameters with the\n"
    "values they show (after any --set, as a render would apply them), and its\n"
    "programs.\n"
    "\n"
    "  --set NAME=VALUE   as for render: drive=7.5, fat=on, oversampling=8\n"
    "  --plugin PATH   VST 2.4 bundle folder or .so (default: the built Gravel.vst)\n"
    "  --clap          what a CLAP host sees of Gravel.clap (or the .clap --plugin names)\n"
    "  -v, --verbose   show the host's log of every call into the effect\n";

const char* const snapshotHelp =
    "Usage: gravel snapshot [-o FILE.png] [--back] [--set NAME=VALUE]...\n"
    "                       [--plugin PATH] [-v]\n"
    "\n"
    "Opens Gravel's pedal editor on an offscreen frame through the same calls a\n"
    "host makes and writes the picture.\n"
    "\n"
    "  -o, --output FILE     the PNG to write (default: gravel-front.png, or\n"
    "                        gravel-back.png with --back)\n"
    "  --back                the back panel (input fader, buffers, oversampling)\n"
    "  --set NAME=VALUE      as for render: drive=7.5, fat=on, oversampling=8\n"
    "  --plugin PATH         a Gravel.vst bundle folder (default: the built one)\n"
    "  --au                  draw through the AudioUnit's view in a window on the\n"
    "                        X display (xvfb-run serves without a screen)\n"
    "  -v, --verbose         show the host's log of every call into the effect\n";

void quietLog(const char*, void*) {}

int usage(const std::string& message, const char* command)
{
    std::fprintf(stderr, "gravel: %s; see 'gravel %s--help'\n", message.c_str(), command);
    return exitUsage;
}

const char* const presetsHelp =
    "Usage: gravel presets\n"
    "\n"
    "Lists Gravel's factory presets with their settings, as the pedal shows\n"
    "them. 'gravel render --preset NAME' starts from one (any case; a unique\n"
    "beginning of the name is enough); the same presets ship as .fxp files in\n"
    "Gravel.vst, as AudioUnit factory presets and as Gravel.lv2's presets.\n";

const char* const commandList = "render, info, snapshot, presets, live or au-info";

const char* helpOf(const std::string& command)
{
    return command == "render"     ? renderHelp
           : command == "info"     ? infoHelp
           : command == "snapshot" ? snapshotHelp
           : command == "presets"  ? presetsHelp
                                   : nullptr;
}

int runCommandLine(int argc, char** argv)
{
    if (argc < 2)
        return usage(std::string("no command given (") + commandList + ")", "");
    const std::string command = argv[1];
    if (command == "--version" || command == "-V") {
        std::printf("gravel %s\n", GRAVEL_VERSION);
        return exitOK;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        if (command == "help" && argc > 2) {
            const std::string topic = argv[2];
            if (topic == "au-info" || topic == "live") {
                char* ownArguments[] = {argv[0], argv[2], const_cast<char*>("--help"), nullptr};
                return topic == "live" ? runLive(3, ownArguments) : runAudioUnitInfo(3, ownArguments);
            }
            if (!helpOf(topic))
                return usage("no command '" + topic + "' (" + commandList + ")", "");
            std::fputs(helpOf(topic), stdout);
            return exitOK;
        }
        std::fputs(mainHelp, stdout);
        return exitOK;
    }
    if (command == "au-info")
        return runAudioUnitInfo(argc, argv);
    if (command == "presets") {
        if (argc == 3 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0)) {
            std::fputs(presetsHelp, stdout);
            return exitOK;
        }
        return argc == 2 ? runPresets() : usage("presets takes no options", "presets ");
    }
    if (command == "live")
        return runLive(argc, argv);
    if (!helpOf(command))
        return usage("unknown command '" + command + "'", "");
    const bool render = command == "render";
    const bool snapshot = command == "snapshot";
    const bool info = command == "info";
    const char* helpFor = render ? "render " : snapshot ? "snapshot " : "info ";

    RenderOptions options;
    SnapshotOptions snapshotOptions;
    bool verbose = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        // Options that take a value accept it as the next argument or after '='.
        auto value = [&](const char* name, std::string& into) {
            const std::string prefix = std::string(name) + "=";
            if (arg.compare(0, prefix.size(), prefix) == 0) {
                into = arg.substr(prefix.size());
                return true;
            }
            if (arg != name)
                return false;
            if (i + 1 >= argc)
                throw std::string(std::string(name) + " needs a value");
            into = argv[++i];
            return true;
        };
        try {
            std::string text;
            if (arg == "--help" || arg == "-h") {
                std::fputs(render ? renderHelp : snapshot ? snapshotHelp : infoHelp, stdout);
                return exitOK;
            } else if (arg == "-v" || arg == "--verbose") {
                verbose = true;
            } else if (value("--plugin", options.plugin)) {
            } else if (snapshot && arg == "--back") {
                snapshotOptions.back = true;
            } else if (snapshot && arg == "--au") {
                snapshotOptions.au = true;
            } else if (render && arg == "--au") {
                options.au = true;
            } else if (!snapshot && arg == "--clap") {
                options.clap = true;
            } else if (snapshot && (value("-o", snapshotOptions.output) ||
                                    value("--output", snapshotOptions.output))) {
            } else if ((snapshot || info) && value("--set", text)) {
                const size_t eq = text.find('=');
                if (eq == std::string::npos)
                    return usage("--set takes NAME=VALUE, for example --set drive=7.5", helpFor);
                snapshotOptions.settings.emplace_back(text.substr(0, eq), text.substr(eq + 1));
            } else if (!render) {
                return usage("unknown option '" + arg + "'", helpFor);
            } else if (value("-o", options.output) || value("--output", options.output) ||
                       value("--format", options.format) || value("--bits", options.bits)) {
            } else if (value("--preset", options.preset) ||
                       value("--save-preset", options.savePreset)) {
            } else if (value("--aupreset", options.auPreset) ||
                       value("--save-aupreset", options.saveAuPreset)) {
                options.au = true; // AudioUnit presets only exist through the AudioUnit
            } else if (value("--block", text)) {
                char* end = nullptr;
                const long n = std::strtol(text.c_str(), &end, 10);
                if (text.empty() || *end != '\0' || n < 1 || n > 65536)
                    return usage("--block takes a number of frames from 1 to 65536", helpFor);
                options.blockSize = static_cast<int>(n);
            } else if (value("--set", text)) {
                const size_t eq = text.find('=');
                if (eq == std::string::npos)
                    return usage("--set takes NAME=VALUE, for example --set drive=7.5", helpFor);
                options.settings.emplace_back(text.substr(0, eq), text.substr(eq + 1));
            } else if (arg.size() > 1 && arg[0] == '-') {
                return usage("unknown option '" + arg + "'", helpFor);
            } else if (options.input.empty()) {
                options.input = arg;
            } else {
                return usage("more than one input file given ('" + options.input + "', '" + arg +
                                 "')",
                             helpFor);
            }
        } catch (const std::string& message) {
            return usage(message, helpFor);
        }
    }

    // Every call into the effect is logged by the host layer; a renderer
    // shows those lines only when asked.
    if (!verbose)
        setTandemLogSink(quietLog, nullptr);
    if (snapshot) {
        snapshotOptions.plugin = options.plugin;
        return snapshotOptions.au ? runAudioUnitSnapshot(snapshotOptions, verbose) : runSnapshot(snapshotOptions);
    }
    if (render && options.clap)
        return options.au ? usage("--clap and --au choose different entries; give one", helpFor)
                          : runClapRender(options);
    if (render)
        return options.au ? runAudioUnitRender(options, verbose) : runRender(options);
    return options.clap ? runClapInfo(options.plugin) : runInfo(options.plugin, snapshotOptions.settings);
}

// what() of a library's exception, on one line.
std::string oneLine(const char* text)
{
    std::string line = text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

} // namespace

int main(int argc, char** argv)
{
    // The commands report every failure they foresee; whatever else is
    // thrown still ends in one line and exit code 1, never in an abort.
    try {
        return runCommandLine(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "gravel: out of memory; give a smaller file or close other programs\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gravel: unexpected failure: %s; run again with -v to see the "
                             "effect's last calls\n",
                     oneLine(e.what()).c_str());
    } catch (...) {
        std::fprintf(stderr, "gravel: unexpected failure; run again with -v to see the effect's "
                             "last calls\n");
    }
    return exitFailed;
}

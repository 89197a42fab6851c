#include "EffectLoader.h"

#include "platform/cf/CoreFoundation.h"
#include "hosting/TandemException.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

void CommandLineHost::getVendor(VSTPlugIn*, char* text) { std::strcpy(text, "Brackenfold"); }
void CommandLineHost::getProduct(VSTPlugIn*, char* text) { std::strcpy(text, "gravel"); }
int CommandLineHost::getVersion(VSTPlugIn*) { return 1520; }

bool CommandLineHost::canDo(VSTPlugIn*, const char* question)
{
    return std::strcmp(question, "sendVstTimeInfo") == 0;
}

VstTimeInfo* CommandLineHost::getTimeInfo(VSTPlugIn*, int) { return &timeInfo; }

void CommandLineHost::setPosition(double samplePos, double sampleRate)
{
    timeInfo.samplePos = samplePos;
    timeInfo.sampleRate = sampleRate;
    timeInfo.flags = kVstTransportPlaying;
}

namespace {

CFBundleRef createBundle(const std::string& folder)
{
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(folder.c_str()),
        static_cast<CFIndex>(folder.size()), true);
    if (!url)
        return nullptr;
    CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url);
    CFRelease(url);
    return bundle;
}

std::string xmlEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

// A bare .so gets a bundle folder of its own in a temporary folder: the
// executable linked in under Contents/x86_64-linux and an Info.plist naming it.
std::string makeStandInBundle(const fs::path& library, std::string& temporaryFolder)
{
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec); // $TMPDIR, else /tmp
    std::string pattern = ((ec ? fs::path("/tmp") : base) / "gravel-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw ToolError("cannot create a temporary folder in " + fs::path(pattern).parent_path().string() +
                        " to load " + library.string() + "; set TMPDIR to a writable folder");
    temporaryFolder = pattern;
    // "X.so" and versioned "X.so.6" both become the executable name "X".
    std::string name = library.filename().string();
    const size_t suffix = name.find(".so");
    if (suffix != std::string::npos && suffix > 0)
        name.erase(suffix);
    const fs::path bundle = fs::path(temporaryFolder) / (name + ".vst");
    const fs::path contents = bundle / "Contents";
    fs::create_directories(contents / "x86_64-linux", ec);
    if (!ec)
        fs::create_symlink(fs::absolute(library), contents / "x86_64-linux" / (name + ".so"), ec);
    std::ofstream plist(contents / "Info.plist");
    plist << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
             "<plist version=\"1.0\">\n<dict>\n"
             "  <key>CFBundleExecutable</key>\n  <string>"
          << xmlEscaped(name) << "</string>\n</dict>\n</plist>\n";
    if (ec || !plist)
        throw ToolError("cannot prepare " + library.string() + " for loading in " + temporaryFolder);
    return bundle.string();
}

} // namespace

LoadedEffect::LoadedEffect(const std::string& path, float sampleRate, int blockSize)
{
    try {
        load(path, sampleRate, blockSize);
    } catch (...) {
        removeTemporaryFolder();
        throw;
    }
}

void LoadedEffect::removeTemporaryFolder()
{
    if (!temporaryFolder.empty()) {
        std::error_code ec;
        fs::remove_all(temporaryFolder, ec);
        temporaryFolder.clear();
    }
}

void LoadedEffect::load(const std::string& path, float sampleRate, int blockSize)
{
    std::error_code ec;
    const fs::path given(path);
    std::string bundleFolder;
    if (fs::is_directory(given, ec)) {
        bundleFolder = path;
    } else if (fs::is_regular_file(given, ec)) {
        // An executable inside a bundle (Contents/x86_64-linux/X.so) is loaded as that bundle.
        const fs::path contents = fs::absolute(given).parent_path().parent_path();
        if (contents.filename() == "Contents" && fs::exists(contents / "Info.plist"))
            bundleFolder = contents.parent_path().string();
        else
            bundleFolder = makeStandInBundle(given, temporaryFolder);
    } else {
        throw ToolError("no plug-in at " + path +
                        "; give --plugin a VST 2.4 bundle folder (.vst) or .so file");
    }

    CFBundleRef bundle = createBundle(bundleFolder);
    if (!bundle)
        throw ToolError("cannot open the bundle " + bundleFolder +
                        "; give --plugin a VST 2.4 bundle folder (.vst) or .so file");
    // The executable stays loaded until the process ends: unloading it just
    // before exit gains nothing, and would take its libraries' one-time
    // allocations (cairo, pixman) with it, which leak checkers then report.
    static auto* keptLoaded = new std::vector<CFBundleRef>();
    keptLoaded->push_back(bundle);
    proxy.reset(new VSTPlugIn(commandLineHost, bundle, sampleRate, blockSize));
    try {
        proxy->open();
    } catch (const TandemException& e) {
        proxy.reset();
        throw ToolError("cannot load " + path + ": " + e.what() +
                        "; give --plugin a VST 2.4 effect built for this machine");
    } catch (...) {
        // Whatever the effect's own entry point threw.
        proxy.reset();
        throw ToolError("cannot load " + path +
                        ": the effect failed while starting; try another plug-in");
    }
}

LoadedEffect::~LoadedEffect()
{
    proxy.reset(); // closes the effect and unloads its executable first
    removeTemporaryFolder();
}

std::string defaultPluginPath()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    // Beside it in a build, in lib/lxvst/ beside bin/ when installed, in
    // ~/.vst where install.sh puts it.
    const fs::path folder = self.parent_path();
    std::vector<fs::path> candidates = {folder / "Gravel.vst", folder.parent_path() / "Gravel.vst",
                                        folder.parent_path() / "lib" / "lxvst" / "Gravel.vst"};
    if (const char* home = std::getenv("HOME"))
        candidates.push_back(fs::path(home) / ".vst" / "Gravel.vst");
    for (const fs::path& candidate : candidates)
        if (fs::is_directory(candidate, ec))
            return candidate.lexically_normal().string();
    return {};
}

std::string uniqueIDText(int id)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned char c = static_cast<unsigned char>(id >> shift);
        if (!std::isprint(c))
            return std::to_string(id);
        text += static_cast<char>(c);
    }
    return text;
}

#pragma once
// A component bundle around one VST effect, as the wrapper's users lay them
// out: the wrapper's executable copied in (one copy per bundle: the loader
// takes one file reached by several paths for one library), the effect
// linked as Resources/Effect.vst, and an Info.plist declaring one component.
#include <filesystem>
#include <fstream>
#include <string>

struct ComponentBundle {
    std::string executableName;    // the copy of the wrapper in the bundle
    std::string subtype;           // four characters
    std::string manufacturer;      // four characters
    std::string name;              // "Maker: Product"
    int version = 65794;
    bool autoConvertPresets = false;
    bool presetIsFXB = false;
    bool updateNameOnLoad = false;
    bool canDoMonoIO = false;

    // Writes the bundle at path (its folder is made).
    void write(const std::filesystem::path& path, const std::string& wrapperExecutable,
               const std::string& effectBundle) const
    {
        namespace fs = std::filesystem;
        const fs::path contents = path / "Contents";
        fs::create_directories(contents / "x86_64-linux");
        fs::create_directories(contents / "Resources");
        fs::copy_file(wrapperExecutable, contents / "x86_64-linux" / (executableName + ".so"));
        fs::create_symlink(effectBundle, contents / "Resources" / "Effect.vst");
        const auto flag = [](bool on) { return on ? "<true/>" : "<false/>"; };
        std::ofstream(contents / "Info.plist") << R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>CFBundleExecutable</key><string>)" << executableName << R"(</string>
  <key>AudioComponents</key>
  <array><dict>
    <key>type</key><string>aufx</string>
    <key>subtype</key><string>)" << subtype << R"(</string>
    <key>manufacturer</key><string>)" << manufacturer << R"(</string>
    <key>name</key><string>)" << name << R"(</string>
    <key>version</key><integer>)" << version << R"(</integer>
    <key>factoryFunction</key><string>TandemEntry</string>
  </dict></array>
  <key>TNConfig</key>
  <dict>
    <key>AutoConvertPresets</key>)" << flag(autoConvertPresets) << R"(
    <key>PresetIsFXB</key>)" << flag(presetIsFXB) << R"(
    <key>UpdateNameOnLoad</key>)" << flag(updateNameOnLoad) << R"(
    <key>CanDoMonoIO</key>)" << flag(canDoMonoIO) << R"(
  </dict>
</dict>
</plist>
)";
    }
};

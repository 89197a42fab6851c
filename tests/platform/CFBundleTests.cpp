// File URLs, bundles in this platform's layout, and one platform library per
// process: CF objects made in one loaded bundle are used and released by the
// host and by another bundle.
#include <gtest/gtest.h>

#include <elf.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/cf/CoreFoundation.h"

namespace {

namespace fs = std::filesystem;

std::string utf8(CFStringRef s) {
    char buffer[4096];
    return CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "<not convertible>";
}

std::string pathOf(CFURLRef url) {
    char buffer[4096];
    return CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(buffer), sizeof buffer) ? buffer
                                                                                                      : "<none>";
}

CFURLRef urlOf(const std::string& path, bool isDirectory) {
    return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                   static_cast<CFIndex>(path.size()), isDirectory);
}

CFBundleRef openBundle(const std::string& name) {
    CFURLRef url = urlOf(std::string(TEST_BUNDLES_DIR) + "/" + name, true);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    return bundle;
}

TEST(CFURL, PathComponentsAndExtensions) {
    CFURLRef exe = CFURLCreateWithFileSystemPath(nullptr, CFSTR("/plugins//Gravel.vst/Contents/x86_64-linux/Gravel.so"),
                                                 kCFURLPOSIXPathStyle, false);
    CFStringRef path = CFURLCopyFileSystemPath(exe, kCFURLPOSIXPathStyle);
    EXPECT_EQ("/plugins/Gravel.vst/Contents/x86_64-linux/Gravel.so", utf8(path));
    CFStringRef last = CFURLCopyLastPathComponent(exe);
    EXPECT_EQ("Gravel.so", utf8(last));
    CFStringRef extension = CFURLCopyPathExtension(exe);
    EXPECT_EQ("so", utf8(extension));

    // Three times up from the executable is the bundle folder.
    CFURLRef up = CFURLCreateCopyDeletingLastPathComponent(nullptr, exe);
    for (int i = 0; i < 2; ++i) {
        CFURLRef next = CFURLCreateCopyDeletingLastPathComponent(nullptr, up);
        CFRelease(up);
        up = next;
    }
    EXPECT_EQ("/plugins/Gravel.vst", pathOf(up));
    EXPECT_TRUE(CFURLHasDirectoryPath(up));
    EXPECT_EQ("file:///plugins/Gravel.vst/", utf8(CFURLGetString(up)));

    CFURLRef resource = CFURLCreateCopyAppendingPathComponent(nullptr, up, CFSTR("Contents/Resources/My Preset.aupreset"),
                                                              false);
    EXPECT_EQ("/plugins/Gravel.vst/Contents/Resources/My Preset.aupreset", pathOf(resource));
    EXPECT_EQ("file:///plugins/Gravel.vst/Contents/Resources/My%20Preset.aupreset", utf8(CFURLGetString(resource)));
    CFURLRef bare = CFURLCreateCopyDeletingPathExtension(nullptr, resource);
    EXPECT_EQ("/plugins/Gravel.vst/Contents/Resources/My Preset", pathOf(bare));
    CFURLRef fxp = CFURLCreateCopyAppendingPathExtension(nullptr, bare, CFSTR("fxp"));
    EXPECT_EQ("/plugins/Gravel.vst/Contents/Resources/My Preset.fxp", pathOf(fxp));

    CFURLRef root = CFURLCreateWithFileSystemPath(nullptr, CFSTR("/"), kCFURLPOSIXPathStyle, true);
    CFURLRef aboveRoot = CFURLCreateCopyDeletingLastPathComponent(nullptr, root);
    EXPECT_EQ("/", pathOf(aboveRoot));
    CFURLRef hidden = CFURLCreateWithFileSystemPath(nullptr, CFSTR("/a/.hidden"), kCFURLPOSIXPathStyle, false);
    EXPECT_EQ(nullptr, CFURLCopyPathExtension(hidden));
    EXPECT_EQ(nullptr, CFURLCreateWithFileSystemPath(nullptr, CFSTR("/a"), kCFURLHFSPathStyle, false));
    EXPECT_EQ(nullptr, CFURLCreateWithFileSystemPath(nullptr, CFSTR(""), kCFURLPOSIXPathStyle, false));

    char small[8];
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(exe, true, reinterpret_cast<UInt8*>(small), sizeof small));

    CFURLRef again = urlOf("/plugins/Gravel.vst/", true);
    EXPECT_TRUE(CFEqual(up, again));
    EXPECT_EQ(CFHash(up), CFHash(again));

    for (CFTypeRef o : {CFTypeRef(exe), CFTypeRef(path), CFTypeRef(last), CFTypeRef(extension), CFTypeRef(up),
                        CFTypeRef(resource), CFTypeRef(bare), CFTypeRef(fxp), CFTypeRef(root),
                        CFTypeRef(aboveRoot), CFTypeRef(hidden), CFTypeRef(again)})
        CFRelease(o);
}

TEST(CFURL, FileURLStringsReadBack) {
    CFURLRef url = CFURLCreateWithString(nullptr, CFSTR("file:///presets/My%20Crunch.aupreset"), nullptr);
    ASSERT_NE(nullptr, url);
    EXPECT_EQ("/presets/My Crunch.aupreset", pathOf(url));
    CFURLRef same = CFURLCreateWithString(nullptr, CFURLGetString(url), nullptr);
    EXPECT_TRUE(CFEqual(url, same));
    CFURLRef sibling = CFURLCreateWithString(nullptr, CFSTR("Other.aupreset"), url);
    EXPECT_EQ("/presets/Other.aupreset", pathOf(sibling));
    EXPECT_EQ(nullptr, CFURLCreateWithString(nullptr, CFSTR("http://example.org/"), nullptr));
    EXPECT_EQ(nullptr, CFURLCreateWithString(nullptr, CFSTR("file:///a%00b"), nullptr));
    EXPECT_EQ(nullptr, CFURLCreateWithString(nullptr, CFSTR("file:///a%2"), nullptr));
    CFRelease(sibling);
    CFRelease(same);
    CFRelease(url);
}

TEST(CFURL, RelativePathsResolveAgainstTheWorkingFolder) {
    CFURLRef relative = CFURLCreateWithFileSystemPath(nullptr, CFSTR("presets/a.fxp"), kCFURLPOSIXPathStyle, false);
    char buffer[4096];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(relative, false, reinterpret_cast<UInt8*>(buffer), sizeof buffer));
    EXPECT_STREQ("presets/a.fxp", buffer);
    EXPECT_EQ((fs::current_path() / "presets/a.fxp").string(), pathOf(relative));
    CFURLRef absolute = CFURLCopyAbsoluteURL(relative);
    EXPECT_EQ(pathOf(relative), pathOf(absolute));
    CFURLRef folder = CFURLCreateCopyDeletingLastPathComponent(nullptr, relative);
    EXPECT_EQ((fs::current_path() / "presets").string(), pathOf(folder));
    CFRelease(folder);
    CFRelease(absolute);
    CFRelease(relative);
}

TEST(CFBundle, InfoDictionaryResourcesAndIdentity) {
    EXPECT_EQ(nullptr, openBundle("Absent.bundle"));

    CFBundleRef bundle = openBundle("BundleA.bundle");
    ASSERT_NE(nullptr, bundle);
    EXPECT_EQ("org.gravel.test.BundleA", utf8(CFBundleGetIdentifier(bundle)));
    EXPECT_EQ("4.10", utf8(static_cast<CFStringRef>(
                          CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("CFBundleShortVersionString")))));
    auto config = static_cast<CFDictionaryRef>(CFDictionaryGetValue(CFBundleGetInfoDictionary(bundle), CFSTR("TNConfig")));
    ASSERT_EQ(CFDictionaryGetTypeID(), CFGetTypeID(config));
    EXPECT_EQ(kCFBooleanTrue, CFDictionaryGetValue(config, CFSTR("CanDoMonoIO")));

    // One bundle object per folder, however it is spelled.
    CFBundleRef same = openBundle("BundleB.bundle/../BundleA.bundle/");
    EXPECT_EQ(bundle, same);
    EXPECT_EQ(2, CFGetRetainCount(bundle));
    CFRelease(same);
    EXPECT_EQ(bundle, CFBundleGetBundleWithIdentifier(CFSTR("org.gravel.test.BundleA")));

    const std::string folder = std::string(TEST_BUNDLES_DIR) + "/BundleA.bundle";
    CFURLRef url = CFBundleCopyBundleURL(bundle);
    EXPECT_EQ(folder, pathOf(url));
    CFURLRef executable = CFBundleCopyExecutableURL(bundle);
    EXPECT_EQ(folder + "/Contents/x86_64-linux/BundleA.so", pathOf(executable));
    CFURLRef resources = CFBundleCopyResourcesDirectoryURL(bundle);
    EXPECT_EQ(folder + "/Contents/Resources", pathOf(resources));

    CFURLRef picture = CFBundleCopyResourceURL(bundle, CFSTR("picture"), CFSTR("png"), nullptr);
    EXPECT_EQ(folder + "/Contents/Resources/picture.png", pathOf(picture));
    CFURLRef dotted = CFBundleCopyResourceURL(bundle, CFSTR("picture"), CFSTR(".png"), nullptr);
    CFURLRef whole = CFBundleCopyResourceURL(bundle, CFSTR("picture.png"), nullptr, nullptr);
    EXPECT_TRUE(CFEqual(picture, dotted));
    EXPECT_TRUE(CFEqual(picture, whole));
    EXPECT_EQ(nullptr, CFBundleCopyResourceURL(bundle, CFSTR("picture"), CFSTR("bmp"), nullptr));
    CFURLRef preset = CFBundleCopyResourceURL(bundle, CFSTR("Crunch"), CFSTR("aupreset"), CFSTR("Presets"));
    EXPECT_NE(nullptr, preset);

    CFArrayRef vsts = CFBundleCopyResourceURLsOfType(bundle, CFSTR("vst"), nullptr);
    ASSERT_EQ(2, CFArrayGetCount(vsts)) << "folders count, hidden files do not";
    EXPECT_EQ(folder + "/Contents/Resources/One.vst", pathOf(static_cast<CFURLRef>(CFArrayGetValueAtIndex(vsts, 0))));
    EXPECT_EQ(folder + "/Contents/Resources/Two.vst", pathOf(static_cast<CFURLRef>(CFArrayGetValueAtIndex(vsts, 1))));
    EXPECT_TRUE(CFURLHasDirectoryPath(static_cast<CFURLRef>(CFArrayGetValueAtIndex(vsts, 0))));
    CFArrayRef everything = CFBundleCopyResourceURLsOfType(bundle, nullptr, nullptr);
    EXPECT_EQ(5, CFArrayGetCount(everything));
    CFArrayRef none = CFBundleCopyResourceURLsOfType(bundle, CFSTR("fxb"), nullptr);
    ASSERT_NE(nullptr, none);
    EXPECT_EQ(0, CFArrayGetCount(none));
    CFArrayRef inFolder = CFBundleCopyResourceURLsOfTypeInDirectory(url, CFSTR("aupreset"), CFSTR("Presets"));
    EXPECT_EQ(1, CFArrayGetCount(inFolder));
    CFDictionaryRef info = CFBundleCopyInfoDictionaryInDirectory(url);
    EXPECT_TRUE(CFEqual(info, CFBundleGetInfoDictionary(bundle)));
    CFRelease(info);

    for (CFTypeRef o : {CFTypeRef(url), CFTypeRef(executable), CFTypeRef(resources), CFTypeRef(picture),
                        CFTypeRef(dotted), CFTypeRef(whole), CFTypeRef(preset), CFTypeRef(vsts),
                        CFTypeRef(everything), CFTypeRef(none), CFTypeRef(inFolder)})
        CFRelease(o);
    CFRelease(bundle);
    EXPECT_EQ(nullptr, CFBundleGetBundleWithIdentifier(CFSTR("org.gravel.test.BundleA")))
        << "a released bundle leaves the registry";
}

TEST(CFBundle, DamagedOrIncompleteBundles) {
    CFBundleRef broken = openBundle("Broken.bundle");
    ASSERT_NE(nullptr, broken);
    ASSERT_NE(nullptr, CFBundleGetInfoDictionary(broken));
    EXPECT_EQ(0, CFDictionaryGetCount(CFBundleGetInfoDictionary(broken)));
    EXPECT_EQ(nullptr, CFBundleGetIdentifier(broken));
    EXPECT_FALSE(CFBundleLoadExecutable(broken));
    CFRelease(broken);

    CFBundleRef noCode = openBundle("NoCode.bundle");
    ASSERT_NE(nullptr, noCode);
    EXPECT_EQ(nullptr, CFBundleCopyExecutableURL(noCode));
    EXPECT_FALSE(CFBundleLoadExecutable(noCode));
    EXPECT_FALSE(CFBundleIsExecutableLoaded(noCode));
    EXPECT_EQ(nullptr, CFBundleGetFunctionPointerForName(noCode, CFSTR("VSTPluginMain")));
    CFRelease(noCode);

    // A NUL byte hidden in CDATA makes the Info.plist damaged, not the host dead.
    const fs::path scratch = fs::temp_directory_path() / ("cfbundle-nul-" + std::to_string(getpid()));
    fs::create_directories(scratch / "Nul.bundle/Contents");
    const char info[] = "<plist><dict><key>CFBundleIdentifier</key><string><![CDATA[org.\0x]]></string></dict></plist>";
    std::ofstream(scratch / "Nul.bundle/Contents/Info.plist", std::ios::binary).write(info, sizeof info - 1);
    CFURLRef nulURL = urlOf((scratch / "Nul.bundle").string(), true);
    CFBundleRef nul = CFBundleCreate(nullptr, nulURL);
    CFRelease(nulURL);
    ASSERT_NE(nullptr, nul);
    EXPECT_EQ(0, CFDictionaryGetCount(CFBundleGetInfoDictionary(nul)));
    EXPECT_EQ(nullptr, CFBundleGetIdentifier(nul));
    CFRelease(nul);
    fs::remove_all(scratch);
}

// Linux VST effects often ship as one .so (or X.so.N), not as a bundle
// folder: such a file, or a link to it, is a bundle whose executable is the
// file itself, with no information and no resources.
TEST(CFBundle, ABareSharedObjectIsABundleOfItsOwn) {
    const fs::path scratch = fs::temp_directory_path() / ("cfbundle-bare-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const fs::path executable = fs::path(TEST_BUNDLES_DIR) / "BundleA.bundle/Contents/x86_64-linux/BundleA.so";
    ASSERT_TRUE(fs::exists(executable));
    fs::create_symlink(executable, scratch / "effect.so");
    fs::create_symlink(executable, scratch / "effect.so.2");
    fs::create_symlink(executable, scratch / "effect.sound");
    fs::create_symlink(executable, scratch / "effect.so.x");

    for (const char* name : {"effect.so", "effect.so.2"}) {
        SCOPED_TRACE(name);
        CFURLRef url = urlOf((scratch / name).string(), false);
        CFBundleRef bare = CFBundleCreate(nullptr, url);
        CFRelease(url);
        ASSERT_NE(nullptr, bare);
        EXPECT_EQ(0, CFDictionaryGetCount(CFBundleGetInfoDictionary(bare)));
        EXPECT_EQ(nullptr, CFBundleCopyResourcesDirectoryURL(bare));
        EXPECT_EQ(nullptr, CFBundleCopyResourceURL(bare, CFSTR("Info"), CFSTR("plist"), nullptr));
        CFArrayRef resources = CFBundleCopyResourceURLsOfType(bare, CFSTR("vst"), nullptr);
        ASSERT_NE(nullptr, resources);
        EXPECT_EQ(0, CFArrayGetCount(resources));
        CFRelease(resources);
        CFURLRef code = CFBundleCopyExecutableURL(bare);
        ASSERT_NE(nullptr, code);
        EXPECT_EQ((scratch / name).string(), pathOf(code));
        CFRelease(code);
        auto testBundleName = reinterpret_cast<const char* (*)()>(
            CFBundleGetFunctionPointerForName(bare, CFSTR("testBundleName")));
        ASSERT_NE(nullptr, testBundleName);
        EXPECT_STREQ("BundleA", testBundleName());
        CFBundleUnloadExecutable(bare);
        CFRelease(bare);
    }
    for (const char* name : {"effect.sound", "effect.so.x"}) {
        CFURLRef url = urlOf((scratch / name).string(), false);
        EXPECT_EQ(nullptr, CFBundleCreate(nullptr, url)) << name;
        CFRelease(url);
    }
    fs::remove_all(scratch);
}

// The test program lies in a plain build folder, not inside X/Contents/<arch>/:
// it has no application bundle (HostIdentityTests covers one that has).
TEST(CFBundle, ProgramOutsideAnApplicationFolderHasNoMainBundle) {
    EXPECT_EQ(nullptr, CFBundleGetMainBundle());
    EXPECT_EQ(nullptr, CFBundleGetIdentifier(CFBundleGetMainBundle()));
    CFBundleRef a = openBundle("BundleA.bundle");
    ASSERT_NE(nullptr, a) << "bundles still open without a main bundle";
    CFRelease(a);
}

template <typename F>
F function(CFBundleRef bundle, const char* name) {
    CFStringRef cfName = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
    void* pointer = CFBundleGetFunctionPointerForName(bundle, cfName);
    CFRelease(cfName);
    return reinterpret_cast<F>(pointer);
}

TEST(CFBundle, TwoBundlesShareOnePlatformLibraryWithTheHost) {
    CFBundleRef a = openBundle("BundleA.bundle");
    CFBundleRef b = openBundle("BundleB.bundle");
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    EXPECT_FALSE(CFBundleIsExecutableLoaded(a));
    ASSERT_TRUE(CFBundleLoadExecutable(a));
    EXPECT_TRUE(CFBundleIsExecutableLoaded(a));
    // Looking a function up loads the executable when needed.
    auto nameB = function<const char* (*)()>(b, "testBundleName");
    ASSERT_NE(nullptr, nameB);
    EXPECT_TRUE(CFBundleIsExecutableLoaded(b));
    auto nameA = function<const char* (*)()>(a, "testBundleName");
    EXPECT_STREQ("BundleA", nameA());
    EXPECT_STREQ("BundleB", nameB()) << "bundles are loaded with local symbols";
    EXPECT_EQ(nullptr, function<void*>(a, "noSuchFunction"));

    // The same type IDs, constants and booleans everywhere.
    EXPECT_EQ(CFStringGetTypeID(), function<CFTypeID (*)()>(a, "testBundleStringTypeID")());
    EXPECT_EQ(CFStringGetTypeID(), function<CFTypeID (*)()>(b, "testBundleStringTypeID")());
    EXPECT_EQ(kCFBooleanTrue, function<CFBooleanRef (*)()>(a, "testBundleTrue")());
    EXPECT_EQ(CFSTR("shared constant"), function<CFStringRef (*)()>(a, "testBundleConstant")());
    EXPECT_EQ(CFSTR("shared constant"), function<CFStringRef (*)()>(b, "testBundleConstant")());

    // Made in A, kept by B, released by the host and by B.
    CFStringRef greeting = function<CFStringRef (*)()>(a, "testBundleCopyGreeting")();
    EXPECT_EQ("made in BundleA", utf8(greeting));
    EXPECT_EQ(1, CFGetRetainCount(greeting));
    auto keepB = function<void (*)(CFTypeRef)>(b, "testBundleKeep");
    keepB(greeting);
    EXPECT_EQ(2, CFGetRetainCount(greeting));
    CFRelease(greeting);
    EXPECT_EQ(1, CFGetRetainCount(greeting));
    keepB(nullptr);  // B's release frees it; ASan would see a double free or a leak

    // The host's dictionary filled by B, read by the host after B is gone.
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                            &kCFTypeDictionaryValueCallBacks);
    function<void (*)(CFMutableDictionaryRef, CFStringRef, SInt32)>(b, "testBundleStoreNumber")(dict, CFSTR("version"), 7);
    CFStringRef fromA = function<CFStringRef (*)()>(a, "testBundleCopyGreeting")();
    function<void (*)(CFTypeRef)>(b, "testBundleRelease")(CFRetain(fromA));
    EXPECT_EQ(1, CFGetRetainCount(fromA));

    // A bundle finds another through the shared registry.
    EXPECT_EQ(b, function<CFBundleRef (*)(CFStringRef)>(a, "testBundleFindBundle")(CFSTR("org.gravel.test.BundleB")));

    CFBundleUnloadExecutable(a);
    CFBundleUnloadExecutable(b);
    EXPECT_FALSE(CFBundleIsExecutableLoaded(a));
    EXPECT_FALSE(CFBundleIsExecutableLoaded(b));
    // Objects outlive the code that made them: they belong to the platform library.
    EXPECT_EQ("made in BundleA", utf8(fromA));
    SInt32 version = 0;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("version"))),
                                 kCFNumberSInt32Type, &version));
    EXPECT_EQ(7, version);
    CFRelease(fromA);
    CFRelease(dict);
    CFRelease(a);
    CFRelease(b);
}

// The library must export the CF API and nothing of its own, must carry its
// versioned SONAME, and must be the only file of that name in the bundle.
TEST(PlatformLibrary, ExportsOnlyThePlatformAPI) {
    const std::string file = PLATFORM_LIBRARY_FILE;
    EXPECT_EQ("libgravel-platform.so.1", fs::path(file).filename().string());
    EXPECT_FALSE(fs::exists(fs::path(file).parent_path() / "libgravel-platform.so")) << "no unversioned namelink";

    std::ifstream in(file, std::ios::binary);
    const std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(image.size(), sizeof(Elf64_Ehdr));
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof header);
    ASSERT_EQ(0, std::memcmp(header.e_ident, ELFMAG, SELFMAG));
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    ASSERT_LE(header.e_shoff + header.e_shnum * sizeof(Elf64_Shdr), image.size());
    std::memcpy(sections.data(), image.data() + header.e_shoff, header.e_shnum * sizeof(Elf64_Shdr));

    std::vector<std::string> exported;
    std::string soname;
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type == SHT_DYNSYM) {
            const char* names = image.data() + sections[section.sh_link].sh_offset;
            for (size_t k = 1; k < section.sh_size / sizeof(Elf64_Sym); ++k) {
                Elf64_Sym symbol;
                std::memcpy(&symbol, image.data() + section.sh_offset + k * sizeof symbol, sizeof symbol);
                const int binding = ELF64_ST_BIND(symbol.st_info);
                if (symbol.st_shndx != SHN_UNDEF && (binding == STB_GLOBAL || binding == STB_WEAK))
                    exported.emplace_back(names + symbol.st_name);
            }
        } else if (section.sh_type == SHT_DYNAMIC) {
            const char* names = image.data() + sections[section.sh_link].sh_offset;
            for (size_t k = 0; k < section.sh_size / sizeof(Elf64_Dyn); ++k) {
                Elf64_Dyn entry;
                std::memcpy(&entry, image.data() + section.sh_offset + k * sizeof entry, sizeof entry);
                if (entry.d_tag == DT_SONAME) soname = names + entry.d_un.d_val;
            }
        }
    }
    EXPECT_EQ("libgravel-platform.so.1", soname);
    EXPECT_GT(exported.size(), 150u);
    // The CF names, the AudioUnit and AudioToolbox names, the Component
    // Manager, handle and Carbon event-loop calls, the host's registration
    // call and the file services; nothing else of ours.
    const std::vector<std::string> prefixes = {"CF", "kCF", "__CF", "Audio", "AU", "MusicDevice", "Gravel",
                                               "_ZN12gravel_files"};
    const std::vector<std::string> carbonNames = {
        "FindNextComponent", "CountComponents", "OpenAComponent", "OpenComponent", "CloseComponent",
        "GetComponentInfo", "GetComponentVersion", "ComponentFunctionImplemented", "GetComponentResource",
        "SetComponentInstanceStorage", "GetComponentInstanceStorage", "NewHandle", "NewHandleClear",
        "DisposeHandle", "GetHandleSize", "SetHandleSize", "MemError", "GetMainEventLoop", "GetCurrentEventLoop",
        "GetCFRunLoopFromEventLoop", "NewEventLoopTimerUPP", "DisposeEventLoopTimerUPP", "InstallEventLoopTimer",
        "RemoveEventLoopTimer", "SetEventLoopTimerNextFireTime", "RunCurrentEventLoop", "QuitEventLoop",
        "TickCount"};
    for (const std::string& name : exported) {
        const bool isPlatformAPI =
            std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& p) { return name.rfind(p, 0) == 0; }) ||
            std::find(carbonNames.begin(), carbonNames.end(), name) != carbonNames.end();
        EXPECT_TRUE(isPlatformAPI) << "exported: " << name;
    }
}

}  // namespace

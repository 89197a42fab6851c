// The component registry: components declared by bundles' Info.plist, found
// in the AU_PATH folders or registered by path, opened through their entry.
#include "platform/components/ComponentRegistry.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <vector>

#include "CoreFoundation/CoreFoundation.h"
#include "platform/components/ExportedSymbols.h"

using namespace gravel_components;
namespace fs = std::filesystem;

namespace {

constexpr const char* kDefaultSearchPath = "~/.au:/usr/local/lib/au:/usr/lib/au";

struct Registry {
    std::mutex mutex;  // guards the lists
    std::vector<ComponentRecord*> components;
    std::vector<std::string> bundlePaths;
    std::vector<ComponentInstanceRecord*> closedInstances;
    std::once_flag scanned;
    std::mutex loadMutex;  // one executable load at a time
};

Registry& registry() {
    static Registry* r = new Registry;  // outlives every static destructor
    return *r;
}

void logLine(const std::string& line) { std::fprintf(stderr, "Component registry: %s\n", line.c_str()); }

std::string expandHome(const std::string& path) {
    if (path == "~" || path.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        return std::string(home != nullptr ? home : "") + path.substr(1);
    }
    return path;
}

bool readWholeFile(const std::string& path, std::vector<char>& bytes) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) return false;
    bytes.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    return !stream.bad();
}

// The executable CFBundle would load for the bundle folder; "" when missing.
std::string executablePathOf(const std::string& bundlePath) {
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(bundlePath.c_str()), static_cast<CFIndex>(bundlePath.size()), true);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    CFURLRef executable = CFBundleCopyExecutableURL(bundle);
    std::string path;
    char buffer[4096];
    if (executable != nullptr &&
        CFURLGetFileSystemRepresentation(executable, true, reinterpret_cast<UInt8*>(buffer), sizeof buffer))
        path = buffer;
    CFRelease(executable);
    CFRelease(bundle);
    return path;
}

bool isRegistered(Registry& r, const std::string& bundlePath) {
    std::lock_guard<std::mutex> lock(r.mutex);
    return std::find(r.bundlePaths.begin(), r.bundlePaths.end(), bundlePath) != r.bundlePaths.end();
}

// Every problem is one log line naming the bundle; a scan passes over folders
// that are not bundles at all without a word.
OSStatus registerBundle(const std::string& givenPath, bool askedByHost) {
    std::error_code error;
    const std::string bundlePath = fs::weakly_canonical(fs::absolute(givenPath, error), error).string();
    Registry& r = registry();
    if (isRegistered(r, bundlePath)) return noErr;
    const std::string infoPath = bundlePath + "/Contents/Info.plist";
    if (!fs::is_regular_file(infoPath, error)) {
        if (askedByHost) logLine("skipped " + givenPath + ": it is not a bundle folder with a Contents/Info.plist");
        return fnfErr;
    }
    std::vector<char> info;
    if (!readWholeFile(infoPath, info)) {
        logLine("skipped " + bundlePath + ": its Info.plist cannot be read (check its permissions)");
        return paramErr;
    }
    BundleDeclarations declarations;
    std::string reason;
    if (!readBundleDeclarations(info.data(), info.size(), declarations, reason)) {
        logLine("skipped " + bundlePath + ": " + reason);
        return paramErr;
    }
    for (const std::string& problem : declarations.problems) logLine(bundlePath + ": " + problem);
    if (declarations.components.empty()) {
        logLine("skipped " + bundlePath + ": its \"AudioComponents\" array declares no complete component");
        return paramErr;
    }
    const std::string executable = executablePathOf(bundlePath);
    if (executable.empty()) {
        logLine("skipped " + bundlePath + ": it has no executable (CFBundleExecutable \"" +
                declarations.executableName + "\" is not in Contents/x86_64-linux)");
        return unresolvedComponentDLLErr;
    }
    std::vector<ComponentRecord*> records;
    for (ComponentDeclaration& declaration : declarations.components) {
        if (!exportsFunction(executable, declaration.entryName)) {
            logLine("skipped component \"" + declaration.name + "\" of " + bundlePath + ": " + executable +
                    " does not export its factoryFunction \"" + declaration.entryName + "\"");
            continue;
        }
        records.push_back(new ComponentRecord{kComponentMagic, std::move(declaration), bundlePath, executable, nullptr});
    }
    if (records.empty()) return unresolvedComponentDLLErr;
    std::lock_guard<std::mutex> lock(r.mutex);
    if (std::find(r.bundlePaths.begin(), r.bundlePaths.end(), bundlePath) != r.bundlePaths.end()) {
        for (ComponentRecord* record : records) delete record;
        return noErr;
    }
    r.bundlePaths.push_back(bundlePath);
    r.components.insert(r.components.end(), records.begin(), records.end());
    return noErr;
}

void scanSearchPath() {
    const char* variable = std::getenv("AU_PATH");
    const bool givenByUser = variable != nullptr;
    // The default folders are often absent; only folders the user named are
    // worth a line when missing.
    const std::string searchPath = givenByUser ? variable : kDefaultSearchPath;
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string::npos) end = searchPath.size();
        const std::string folder = expandHome(searchPath.substr(start, end - start));
        start = end + 1;
        if (folder.empty()) continue;
        std::error_code error;
        if (!fs::is_directory(folder, error)) {
            if (givenByUser) logLine("skipped AU_PATH folder " + folder + ": it does not exist or is not a folder");
            continue;
        }
        std::vector<std::string> entries;
        for (fs::directory_iterator it(folder, error), endIt; !error && it != endIt; it.increment(error))
            if (it->is_directory(error)) entries.push_back(it->path().string());
        std::sort(entries.begin(), entries.end());
        for (const std::string& entry : entries) registerBundle(entry, false);
    }
}

void scanOnce() { std::call_once(registry().scanned, scanSearchPath); }

// A closed instance's record is kept, marked closed, rather than freed: a host
// that calls a closed unit then gets badComponentInstance instead of reading
// freed memory, and the calls stay free of locks. It costs 32 bytes per close.
void retire(ComponentInstanceRecord* instance) {
    instance->magic = 0;
    instance->storage = nullptr;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.closedInstances.push_back(instance);
}

ComponentRecord* asComponent(const void* pointer) {
    auto* record = static_cast<ComponentRecord*>(const_cast<void*>(pointer));
    return record != nullptr && record->magic == kComponentMagic ? record : nullptr;
}

// A component, or the component of an open instance, as macOS accepts either.
ComponentRecord* componentOf(const void* componentOrInstance) {
    if (ComponentRecord* record = asComponent(componentOrInstance)) return record;
    ComponentInstanceRecord* instance = openInstance(static_cast<ComponentInstance>(const_cast<void*>(componentOrInstance)));
    return instance != nullptr ? instance->component : nullptr;
}

bool matches(const ComponentDescription& component, const ComponentDescription* looking) {
    if (looking == nullptr) return true;
    return (looking->componentType == 0 || looking->componentType == component.componentType) &&
           (looking->componentSubType == 0 || looking->componentSubType == component.componentSubType) &&
           (looking->componentManufacturer == 0 || looking->componentManufacturer == component.componentManufacturer) &&
           (component.componentFlags & looking->componentFlagsMask) ==
               (looking->componentFlags & looking->componentFlagsMask);
}

ComponentRecord* findNext(const void* after, const ComponentDescription* looking) {
    scanOnce();
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.components.begin();
    if (after != nullptr) {
        it = std::find(r.components.begin(), r.components.end(), after);
        if (it == r.components.end()) return nullptr;
        ++it;
    }
    for (; it != r.components.end(); ++it)
        if (matches((*it)->declaration.description, looking)) return *it;
    return nullptr;
}

long countMatching(const ComponentDescription* looking) {
    scanOnce();
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return static_cast<long>(std::count_if(r.components.begin(), r.components.end(), [looking](const ComponentRecord* c) {
        return matches(c->declaration.description, looking);
    }));
}

// Loads the bundle's executable once per process and finds the entry.
OSStatus resolveEntry(ComponentRecord* component) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.loadMutex);
    if (component->entry != nullptr) return noErr;
    const std::string& path = component->bundlePath;
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                           static_cast<CFIndex>(path.size()), true);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    CFStringRef name = CFStringCreateWithCString(nullptr, component->declaration.entryName.c_str(), kCFStringEncodingUTF8);
    void* entry = CFBundleGetFunctionPointerForName(bundle, name);
    CFRelease(name);
    if (entry == nullptr) {
        logLine("cannot open \"" + component->declaration.name + "\": " + component->executablePath +
                " did not load or lacks \"" + component->declaration.entryName + "\" (the reason is above)");
        CFRelease(bundle);
        return unresolvedComponentDLLErr;
    }
    // The bundle stays: its executable is in use from now on.
    component->entry = reinterpret_cast<ComponentRoutineUPP>(entry);
    return noErr;
}

OSStatus openInstanceOf(ComponentRecord* component, ComponentInstance* outInstance) {
    if (outInstance != nullptr) *outInstance = nullptr;
    if (component == nullptr || outInstance == nullptr) return component == nullptr ? invalidComponentID : paramErr;
    const OSStatus resolved = resolveEntry(component);
    if (resolved != noErr) return resolved;
    auto* instance = new ComponentInstanceRecord{kInstanceMagic, component, component->entry, nullptr};
    ComponentParameters params{};
    params.what = kComponentOpenSelect;
    params.paramSize = sizeof(long);
    params.params[0] = reinterpret_cast<long>(instance);
    const ComponentResult result = instance->entry(&params, nullptr);
    if (result != noErr) {
        retire(instance);
        return result;
    }
    *outInstance = instance;
    return noErr;
}

OSStatus closeInstance(ComponentInstance instance) {
    ComponentInstanceRecord* record = openInstance(instance);
    if (record == nullptr) return badComponentInstance;
    ComponentParameters params{};
    params.what = kComponentCloseSelect;
    params.paramSize = sizeof(long);
    params.params[0] = reinterpret_cast<long>(instance);
    const ComponentResult result = record->entry(&params, record->storage);
    retire(record);
    return result;
}

ComponentResult sendSimpleRequest(ComponentInstance instance, SInt16 selector, long argument, UInt8 argumentSize) {
    ComponentParameters params{};
    params.what = selector;
    params.paramSize = argumentSize;
    params.params[0] = argument;
    return sendRequest(instance, &params);
}

// The name as a Pascal string in Mac Roman (characters it lacks become "?").
void copyPascalString(const std::string& text, Handle handle) {
    if (handle == nullptr) return;
    CFStringRef string = CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
    unsigned char bytes[256] = {};
    CFIndex used = 0;
    if (string != nullptr)
        CFStringGetBytes(string, CFRangeMake(0, CFStringGetLength(string)), kCFStringEncodingMacRoman, '?', false,
                         bytes + 1, 255, &used);
    CFRelease(string);
    bytes[0] = static_cast<unsigned char>(used);
    SetHandleSize(handle, used + 1);
    if (MemError() == noErr) std::memcpy(*handle, bytes, static_cast<size_t>(used) + 1);
}

}  // namespace

OSStatus GravelRegisterComponentBundle(const char* bundlePath) {
    if (bundlePath == nullptr) return paramErr;
    scanOnce();
    return registerBundle(bundlePath, true);
}

// Component Manager.

Component FindNextComponent(Component aComponent, ComponentDescription* looking) {
    return findNext(aComponent, looking);
}

long CountComponents(ComponentDescription* looking) { return countMatching(looking); }

OSErr OpenAComponent(Component aComponent, ComponentInstance* ci) {
    return static_cast<OSErr>(openInstanceOf(asComponent(aComponent), ci));
}

ComponentInstance OpenComponent(Component aComponent) {
    ComponentInstance instance = nullptr;
    openInstanceOf(asComponent(aComponent), &instance);
    return instance;
}

OSErr CloseComponent(ComponentInstance aComponentInstance) {
    return static_cast<OSErr>(closeInstance(aComponentInstance));
}

OSErr GetComponentInfo(Component aComponent, ComponentDescription* cd, Handle componentName, Handle componentInfo,
                       Handle) {
    const ComponentRecord* component = componentOf(aComponent);
    if (component == nullptr) return invalidComponentID;
    if (cd != nullptr) *cd = component->declaration.description;
    copyPascalString(component->declaration.name, componentName);
    copyPascalString(component->declaration.information, componentInfo);
    return noErr;
}

long GetComponentVersion(ComponentInstance aComponentInstance) {
    return sendSimpleRequest(aComponentInstance, kComponentVersionSelect, 0, 0);
}

long ComponentFunctionImplemented(ComponentInstance ci, SInt16 ftnNumber) {
    return sendSimpleRequest(ci, kComponentCanDoSelect, ftnNumber, sizeof(long));
}

OSErr GetComponentResource(Component aComponent, OSType resType, SInt16 resID, Handle* theResource) {
    if (theResource == nullptr) return paramErr;
    *theResource = nullptr;
    const ComponentRecord* component = componentOf(aComponent);
    if (component == nullptr) return invalidComponentID;
    if (resType != kComponentResourceType || resID != kComponentResourceID) return resNotFound;
    Handle handle = NewHandleClear(sizeof(ExtComponentResource));
    if (handle == nullptr) return memFullErr;
    ExtComponentResource resource{};
    resource.cd = component->declaration.description;
    resource.componentVersion = static_cast<SInt32>(component->declaration.version);
    std::memcpy(*handle, &resource, sizeof resource);
    *theResource = handle;
    return noErr;
}

void SetComponentInstanceStorage(ComponentInstance aComponentInstance, Handle theStorage) {
    if (ComponentInstanceRecord* instance = openInstance(aComponentInstance)) instance->storage = theStorage;
}

Handle GetComponentInstanceStorage(ComponentInstance aComponentInstance) {
    ComponentInstanceRecord* instance = openInstance(aComponentInstance);
    return instance != nullptr ? instance->storage : nullptr;
}

// AudioComponent names for the same records.

AudioComponent AudioComponentFindNext(AudioComponent inComponent, const AudioComponentDescription* inDesc) {
    return reinterpret_cast<AudioComponent>(findNext(inComponent, reinterpret_cast<const ComponentDescription*>(inDesc)));
}

UInt32 AudioComponentCount(const AudioComponentDescription* inDesc) {
    return static_cast<UInt32>(countMatching(reinterpret_cast<const ComponentDescription*>(inDesc)));
}

OSStatus AudioComponentCopyName(AudioComponent inComponent, CFStringRef* outName) {
    const ComponentRecord* component = asComponent(inComponent);
    if (component == nullptr || outName == nullptr) return paramErr;
    *outName = CFStringCreateWithCString(nullptr, component->declaration.name.c_str(), kCFStringEncodingUTF8);
    return noErr;
}

OSStatus AudioComponentGetDescription(AudioComponent inComponent, AudioComponentDescription* outDesc) {
    const ComponentRecord* component = asComponent(inComponent);
    if (component == nullptr || outDesc == nullptr) return paramErr;
    std::memcpy(outDesc, &component->declaration.description, sizeof *outDesc);
    return noErr;
}

OSStatus AudioComponentGetVersion(AudioComponent inComponent, UInt32* outVersion) {
    const ComponentRecord* component = asComponent(inComponent);
    if (component == nullptr || outVersion == nullptr) return paramErr;
    *outVersion = component->declaration.version;
    return noErr;
}

OSStatus AudioComponentInstanceNew(AudioComponent inComponent, AudioComponentInstance* outInstance) {
    return openInstanceOf(asComponent(inComponent), outInstance);
}

OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance) { return closeInstance(inInstance); }

AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance inInstance) {
    ComponentInstanceRecord* instance = openInstance(inInstance);
    return instance != nullptr ? reinterpret_cast<AudioComponent>(instance->component) : nullptr;
}

Boolean AudioComponentInstanceCanDo(AudioComponentInstance inInstance, SInt16 inSelectorID) {
    return ComponentFunctionImplemented(inInstance, inSelectorID) != 0;
}

// Construction and tear-down of the component: find the own bundle, read the
// configuration, find and open the effect, build the buses from its pins and
// prepare everything rendering needs, in a fixed order.

#include "wrapper/TandemComponent.h"

#include "wrapper/TandemCF.h"
#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <link.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr VstInt32 tandemHello = 0x73486921; // 'sHi!'

const char* supportText(bool supported) { return supported ? "supports" : "does not support"; }

CFURLRef createURLFromPath(const std::string& path, bool isDirectory)
{
    return CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault,
                                                   reinterpret_cast<const UInt8*>(path.data()),
                                                   CFIndex(path.size()), isDirectory);
}

std::string pathOfURL(CFURLRef url)
{
    char path[1024];
    if (!url || !CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(path), sizeof path))
        return std::string();
    return path;
}

// The loaded image that holds this code: its path, its index among the
// process's images and how many there are.
struct OwnImage {
    const void* address;
    std::string path;
    int index = -1;
    int count = 0;
};

int findOwnImage(dl_phdr_info* info, size_t, void* data)
{
    OwnImage& image = *static_cast<OwnImage*>(data);
    const auto address = reinterpret_cast<ElfW(Addr)>(image.address);
    for (ElfW(Half) i = 0; i < info->dlpi_phnum && image.index < 0; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        const ElfW(Addr) start = info->dlpi_addr + segment.p_vaddr;
        if (segment.p_type == PT_LOAD && address >= start && address < start + segment.p_memsz) {
            image.index = image.count;
            image.path = info->dlpi_name ? info->dlpi_name : "";
        }
    }
    ++image.count;
    return 0;
}

} // namespace

TandemComponent::TandemComponent(ComponentInstance instance)
    : auInstance(instance), notifier(new TandemNotifier(instance)), hostCallback(new TandemHostCallback(*this))
{
    retainTandemLogWriter();
    CFBundleRef effectBundle = nullptr;
    try {
        copyComponentName();

        {
            ScopedCFRef<CFURLRef> url(createOwnExecutableURL());
            // executable, its architecture folder, Contents
            for (int i = 0; i < 3; ++i) {
                url.reset(CFURLCreateCopyDeletingLastPathComponent(kCFAllocatorDefault, url.get()));
                if (!url.get())
                    throw TandemException("Could not remove last path component from URL");
            }
            auBundle = CFBundleCreate(kCFAllocatorDefault, url.get());
            if (!auBundle)
                throw TandemException("Could not create bundle from URL");
        }

        configuration = TandemConfiguration::read(auBundle);

        ScopedCFRef<CFURLRef> resourcesURL(CFBundleCopyResourcesDirectoryURL(auBundle));
        if (!resourcesURL.get())
            throw TandemException("Could not locate resources directory within bundle");
        resourcesFolder = pathOfURL(resourcesURL.get());
        if (resourcesFolder.empty())
            throw MacOSException(fnfErr);

        effectBundle = createEffectBundle();

        vst.reset(new VSTPlugIn(*hostCallback, effectBundle, 44100.0f, 4096));
        releaseBundle(effectBundle);
        vst->open();
        view.reset(new TandemViewHost(*vst, auBundle));

        checkAndProbeEffect();

        tryToIdentifyHostApplication();
        static const char* const hostNames[] = {"undetermined", "Logic 7 or older",
                                                "GarageBand 4.1 or older", "Logic 8.0"};
        tandemLog("Hosting application: %s\n", hostNames[hostApplication]);

        ComponentDescription description;
        OSErr error = GetComponentInfo(reinterpret_cast<Component>(auInstance), &description, nullptr,
                                       nullptr, nullptr);
        if (error != noErr)
            throw MacOSException(error);
        const OSType type = description.componentType;
        tandemLog("Component type: %c%c%c%c\n", char(type >> 24), char(type >> 16), char(type >> 8),
                  char(type));
        const bool sameWidthForAllBuses =
            type != kAudioUnitType_MusicDevice || hostApplication == hostLogic7OrOlder;
        renderer.reset(new TandemRenderer(*vst, *notifier, vstSupportsTandemExtensions));
        renderer->buildBuses(sameWidthForAllBuses);
        buildSupportedChannels();
        renderer->setMaxFramesPerSlice(vst->getBlockSize());

        parameters.reset(new TandemParameterMap(std::max(0, vst->getParameterCount())));
        parameters->readOrCreate(resourcesFolder, *vst, vstSupportsTandemExtensions);
        presets.reset(new TandemPresetStore(auInstance, *vst, configuration, resourcesFolder, componentName));
        presets->loadOrCreateFactoryPresets();
        if (configuration.autoConvertPresets)
            presets->convertVSTPresets();

        // Known from the start; nobody listens yet.
        updateInitialDelayTime();
        if (vstSupportsTailTime)
            updateTailTime();

        presets->updateCurrentAUPreset();

        installIdleTimer();
    } catch (...) {
        if (effectBundle)
            releaseBundle(effectBundle);
        tearDown();
        throw;
    }
}

TandemComponent::~TandemComponent() { tearDown(); }

void TandemComponent::copyComponentName()
{
    Handle name = NewHandle(256);
    if (!name)
        throw MacOSException(memFullErr);
    ComponentDescription description;
    OSErr error = GetComponentInfo(reinterpret_cast<Component>(auInstance), &description, name, nullptr,
                                   nullptr);
    if (error != noErr) {
        DisposeHandle(name);
        throw MacOSException(error);
    }
    // A Pascal string: length byte, then the characters.
    const unsigned char* text = reinterpret_cast<const unsigned char*>(*name);
    const size_t available = size_t(GetHandleSize(name));
    const size_t length = available > 0 ? std::min<size_t>(text[0], available - 1) : 0;
    componentName.assign(reinterpret_cast<const char*>(text) + 1, length);
    DisposeHandle(name);
    // Log lines carry the name of the component opened last.
    std::memcpy(logName, componentName.data(), length);
    logName[length] = '\0';
}

CFURLRef TandemComponent::createOwnExecutableURL()
{
    // The image that holds this very function is the bundle's executable.
    OwnImage image;
    image.address = reinterpret_cast<const void*>(&findOwnImage);
    dl_iterate_phdr(&findOwnImage, &image);
    if (image.index < 0 || image.path.empty())
        throw TandemException("Could not find image for current bundle");
    if (image.path.size() > 1023)
        image.path.resize(1023);
    tandemLog("Found my image (%s) at %d of %d\n", image.path.c_str(), image.index, image.count);
    CFURLRef url = createURLFromPath(image.path, false);
    if (!url)
        throw TandemException("Could not create URL from file system representation");
    return url;
}

CFBundleRef TandemComponent::createEffectBundle()
{
    ScopedCFRef<CFArrayRef> effects(CFBundleCopyResourceURLsOfType(auBundle, CFSTR("vst"), nullptr));
    if (!effects.get())
        throw TandemException("Could not locate resources of specific type in bundle");
    const CFIndex count = CFArrayGetCount(effects.get());
    if (count == 0) {
        tandemLog("No VST bundle or alias found in resources, assuming fat AU bundle\n");
        return static_cast<CFBundleRef>(const_cast<void*>(CFRetain(auBundle)));
    }
    if (count > 1)
        throw TandemException("Found more than one VST bundle or alias in resources");

    ScopedCFRef<CFURLRef> url(
        static_cast<CFURLRef>(CFRetain(CFArrayGetValueAtIndex(effects.get(), 0))));
    const std::string path = pathOfURL(url.get());
    tandemLog("Found VST bundle or alias at %s\n", path.c_str());
    // A symbolic link is this platform's alias; chains of them are followed
    // to the final target. When that fails the resource is taken as it is.
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    if (!path.empty() && !error) {
        url.reset(createURLFromPath(target.string(), std::filesystem::is_directory(target, error)));
        if (!url.get())
            throw TandemException("Could not create URL from FSRef");
        tandemLog("Resolved alias to %s\n", pathOfURL(url.get()).c_str());
    }
    CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url.get());
    if (!bundle)
        throw TandemException("Could not locate VST bundle");
    return bundle;
}

void TandemComponent::checkAndProbeEffect()
{
    if (vst->getInputCount() > TandemRenderer::maxPins)
        throw TandemException("VST has too many inputs");
    if (vst->getOutputCount() > TandemRenderer::maxPins)
        throw TandemException("VST has too many outputs");
    if (!vst->canProcessReplacing())
        throw TandemException("VST does not support processReplacing()");

    vstSupportsTandemExtensions = vst->dispatch(effVendorSpecific, tandemHello, 0, nullptr, 0.0f) != 0;
    vstSupportsTailTime = vst->getTailSize() != 0;
    vstSupportsBypass = vst->setBypass(false);
    tandemLog("VST %s Tandem extensions\n", supportText(vstSupportsTandemExtensions));
    tandemLog("VST %s tail size\n", supportText(vstSupportsTailTime));
    tandemLog("VST %s bypassing\n", supportText(vstSupportsBypass));
}

void TandemComponent::buildSupportedChannels()
{
    const int in = renderer->getInputBusCount() > 0 ? renderer->getMaxInputChannels(0) : 0;
    const int out = renderer->getOutputBusCount() > 0 ? renderer->getMaxOutputChannels(0) : 0;
    bool sameWidths = true;
    for (int b = 0; b < renderer->getInputBusCount(); ++b)
        sameWidths = sameWidths && renderer->getMaxInputChannels(b) == in;
    for (int b = 0; b < renderer->getOutputBusCount(); ++b)
        sameWidths = sameWidths && renderer->getMaxOutputChannels(b) == out;

    supportedChannelCount = 0;
    auto offer = [this](int inChannels, int outChannels) {
        supportedChannels[supportedChannelCount++] = AUChannelInfo{SInt16(inChannels), SInt16(outChannels)};
    };
    if (sameWidths) {
        if (configuration.canDoMonoIO && in == 2 && out == 2) {
            offer(1, 1);
            offer(1, 2);
            offer(2, 1);
            offer(2, 2);
        } else if (configuration.canDoMonoIO && in == 2) {
            offer(1, out);
            offer(2, out);
        } else if (configuration.canDoMonoIO && out == 2) {
            offer(in, 1);
            offer(in, 2);
        } else {
            offer(in, out);
        }
    }
    tandemLog("VST has %d inputs and %d outputs configured into %d input buses and %d output buses "
              "(SupportedNumChannels %s)\n",
              vst->getInputCount(), vst->getOutputCount(), renderer->getInputBusCount(), renderer->getOutputBusCount(),
              supportedChannelCount > 0 ? "supported" : "not supported");
}

void TandemComponent::tearDown()
{
    // Nothing may idle or call back into a half-closed unit: the timer goes
    // first (its removal waits for a callback already running), then the
    // view and the effect it embeds, and only then the tables the effect's
    // callbacks read. Runs from the destructor too: nothing here throws.
    closing = true;
    if (idleTimer) {
        RemoveEventLoopTimer(idleTimer);
        idleTimer = nullptr;
    }
    view.reset();
    vst.reset();
    presets.reset();
    parameters.reset();
    renderer.reset();
    releaseBundle(auBundle);
    releaseTandemLogWriter();
}

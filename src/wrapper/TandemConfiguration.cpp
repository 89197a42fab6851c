// What adapts the component to its surroundings: the "TNConfig" flags of its
// bundle, the hosting application (some hosts need workarounds), the idle
// timer and the host-callback operations that belong with the view.

#include "wrapper/TandemComponent.h"

#include "wrapper/TandemCF.h"
#include "wrapper/TandemException.h"
#include "wrapper/TandemLog.h"

#include <cstring>

// ---- dictionary lookups and texts ----

CFTypeRef dictionaryValue(CFDictionaryRef dictionary, const char* key)
{
    ScopedCFRef<CFStringRef> keyString(
        CFStringCreateWithCString(kCFAllocatorDefault, key, kCFStringEncodingMacRoman));
    CFTypeRef value = dictionary && keyString.get() ? CFDictionaryGetValue(dictionary, keyString.get()) : nullptr;
    if (!value)
        throw TandemException("Missing key in dictionary");
    return value;
}

CFTypeRef dictionaryValueOfType(CFDictionaryRef dictionary, const char* key, CFTypeID type)
{
    CFTypeRef value = dictionaryValue(dictionary, key);
    if (CFGetTypeID(value) != type)
        throw FormatException("Value in dictionary is not of expected type");
    return value;
}

bool dictionaryBoolean(CFDictionaryRef dictionary, const char* key)
{
    return CFBooleanGetValue(
               static_cast<CFBooleanRef>(dictionaryValueOfType(dictionary, key, CFBooleanGetTypeID()))) != 0;
}

std::string cfStringText(CFTypeRef string)
{
    if (!string || CFGetTypeID(string) != CFStringGetTypeID())
        return "?";
    CFStringRef text = static_cast<CFStringRef>(string);
    if (const char* direct = CFStringGetCStringPtr(text, kCFStringEncodingMacRoman))
        return direct;
    char buffer[1024];
    if (!CFStringGetCString(text, buffer, sizeof buffer, kCFStringEncodingMacRoman))
        return "?";
    return buffer;
}

// ---- configuration ----

void TandemComponent::loadConfiguration()
{
    CFDictionaryRef info = CFBundleGetInfoDictionary(auBundle);
    if (!info)
        throw TandemException("Could not get info dictionary for bundle");
    CFDictionaryRef config =
        static_cast<CFDictionaryRef>(dictionaryValueOfType(info, "TNConfig", CFDictionaryGetTypeID()));
    autoConvertPresets = dictionaryBoolean(config, "AutoConvertPresets");
    presetIsFXB = dictionaryBoolean(config, "PresetIsFXB");
    updateNameOnLoad = dictionaryBoolean(config, "UpdateNameOnLoad");
    canDoMonoIO = dictionaryBoolean(config, "CanDoMonoIO");
}

// ---- host identification ----

namespace {

bool versionIsLower(CFStringRef version, CFStringRef than)
{
    // Numerically: runs of digits compare by value, so "4.10" is above "4.2".
    return CFStringCompare(version, than, kCFCompareNumerically | kCFCompareCaseInsensitive) ==
           kCFCompareLessThan;
}

} // namespace

int identifyHostApplication(CFStringRef identifier, CFTypeRef version)
{
    if (!identifier || !version || CFGetTypeID(version) != CFStringGetTypeID())
        return TandemComponent::hostUndetermined;
    CFStringRef versionText = static_cast<CFStringRef>(version);
    if (CFStringCompare(identifier, CFSTR("com.apple.logic.pro"), 0) == kCFCompareEqualTo ||
        CFStringCompare(identifier, CFSTR("com.apple.logic.express"), 0) == kCFCompareEqualTo) {
        if (versionIsLower(versionText, CFSTR("8.0.0")))
            return TandemComponent::hostLogic7OrOlder;
        if (versionIsLower(versionText, CFSTR("8.0.1")))
            return TandemComponent::hostLogic80;
        return TandemComponent::hostUndetermined;
    }
    if (CFStringCompare(identifier, CFSTR("com.apple.garageband"), 0) == kCFCompareEqualTo)
        return versionIsLower(versionText, CFSTR("4.2")) ? TandemComponent::hostGarageBand41OrOlder
                                                        : TandemComponent::hostUndetermined;
    return TandemComponent::hostUndetermined;
}

void TandemComponent::tryToIdentifyHostApplication()
{
    hostApplication = hostUndetermined;
    CFBundleRef mainBundle = CFBundleGetMainBundle();
    tandemLog("Main bundle reference : %p\n", static_cast<void*>(mainBundle));
    if (!mainBundle)
        return;
    CFStringRef identifier = CFBundleGetIdentifier(mainBundle);
    CFTypeRef version = CFBundleGetValueForInfoDictionaryKey(mainBundle, CFSTR("CFBundleShortVersionString"));
    tandemLog("Main bundle id reference : %p = %s\n", static_cast<const void*>(identifier),
              cfStringText(identifier).c_str());
    tandemLog("Main bundle version reference : %p = %s\n", version, cfStringText(version).c_str());
    hostApplication = identifyHostApplication(identifier, version);
}

// ---- idle timer and view callbacks ----

EventLoopTimerUPP TandemComponent::idleTimerUPP = &TandemComponent::idleTimerAction;

void TandemComponent::installIdleTimer()
{
    OSStatus status = InstallEventLoopTimer(GetMainEventLoop(), idleInterval, idleInterval, idleTimerUPP,
                                            this, &idleTimer);
    if (status != noErr) {
        idleTimer = nullptr;
        throw MacOSException(status);
    }
}

void TandemComponent::idleTimerAction(EventLoopTimerRef, void* component)
{
    // effIdle, and effEditIdle while the editor is open.
    static_cast<TandemComponent*>(component)->vst->idle();
}

void TandemComponent::updateDisplay(VSTPlugIn*)
{
    if (updateCurrentAUPreset()) {
        propertyChanged(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0);
        propertyChanged(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0);
    }
}

void TandemComponent::resizeWindow(VSTPlugIn*, int width, int height)
{
    // Sizes the view that embeds the editor; without a view there is nothing to size.
    resizeView(width, height);
}

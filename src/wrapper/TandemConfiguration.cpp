// What adapts the component to its surroundings: the "TNConfig" flags of its
// bundle, the hosting application (some hosts need workarounds) and the idle
// timer of the main loop.

#include "wrapper/TandemComponent.h"

#include "wrapper/TandemCF.h"
#include "wrapper/TandemConfiguration.h"
#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <cstring>

// ---- configuration ----

TandemConfiguration TandemConfiguration::read(CFBundleRef bundle)
{
    CFDictionaryRef info = CFBundleGetInfoDictionary(bundle);
    if (!info)
        throw TandemException("Could not get info dictionary for bundle");
    CFDictionaryRef config =
        static_cast<CFDictionaryRef>(dictionaryValueOfType(info, "TNConfig", CFDictionaryGetTypeID()));
    TandemConfiguration configuration;
    configuration.autoConvertPresets = dictionaryBoolean(config, "AutoConvertPresets");
    configuration.presetIsFXB = dictionaryBoolean(config, "PresetIsFXB");
    configuration.updateNameOnLoad = dictionaryBoolean(config, "UpdateNameOnLoad");
    configuration.canDoMonoIO = dictionaryBoolean(config, "CanDoMonoIO");
    return configuration;
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

// ---- idle timer ----

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

void TandemComponent::idleTimerAction(EventLoopTimerRef, void* instance)
{
    TandemComponent* component = static_cast<TandemComponent*>(instance);
    try {
        component->notifier->deliverQueued();
    } catch (const std::exception& e) {
        tandemLog("Could not deliver a notification: %s\n", e.what());
    }
    // effIdle, and effEditIdle while the editor is open.
    component->vst->idle();
}

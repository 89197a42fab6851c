// Parameter values as the effect's own texts and back, for hosts that show
// and type values: the Tandem extensions 'sV2S' and 'sS2V' of the effect.

#include "wrapper/TandemComponent.h"

#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr VstInt32 tandemValueToString = 0x73563253; // 'sV2S'
constexpr VstInt32 tandemStringToValue = 0x73533256; // 'sS2V'

// The host's string as Mac Roman text of at most `size` - 1 bytes, always
// terminated: a longer string is cut rather than refused.
void copyMacRomanText(CFStringRef string, char* text, std::size_t size)
{
    std::memset(text, 0, size);
    if (CFStringGetCString(string, text, CFIndex(size), kCFStringEncodingMacRoman))
        return;
    CFIndex used = 0;
    const CFIndex length = std::min<CFIndex>(CFStringGetLength(string), CFIndex(size) - 1);
    CFStringGetBytes(string, CFRange{0, length}, kCFStringEncodingMacRoman, '?', false,
                     reinterpret_cast<UInt8*>(text), CFIndex(size) - 1, &used);
    text[std::min<CFIndex>(used, CFIndex(size) - 1)] = '\0';
}

} // namespace

void TandemComponent::getParameterStringFromValue(AudioUnitParameterStringFromValue& request)
{
    if (request.inParamID >= AudioUnitParameterID(parameters->getParameterCount()))
        throw MacOSException(kAudioUnitErr_InvalidParameter);
    request.outString = nullptr;
    // The effect answers into 25 bytes; the rest is room for one that does
    // not keep to them. At most 24 characters are taken.
    char text[256];
    std::memset(text, 0, sizeof text);
    text[0] = '?';
    if (request.inValue) {
        const float value = parameters->toVST(request.inParamID, *request.inValue);
        std::memcpy(text, &value, sizeof value);
        if (vst->vendorSpecific(tandemValueToString, VstIntPtr(request.inParamID), text, 0.0f) == 0) {
            tandemLog("Warning! Tandem extension 'sV2S' (value to string conversion) returned 0\n");
            throw MacOSException(kAudioUnitErr_InvalidProperty);
        }
        text[24] = '\0';
    } else {
        vst->getParameterDisplay(int(request.inParamID), text);
    }
    const char* start = text;
    while (*start == ' ')
        ++start;
    request.outString = CFStringCreateWithCString(kCFAllocatorDefault, start, kCFStringEncodingMacRoman);
}

void TandemComponent::getParameterValueFromString(AudioUnitParameterValueFromString& request)
{
    if (request.inParamID >= AudioUnitParameterID(parameters->getParameterCount()))
        throw MacOSException(kAudioUnitErr_InvalidParameter);
    request.outValue = 0.0f;
    if (!request.inString || CFGetTypeID(request.inString) != CFStringGetTypeID())
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    // A host string of any length arrives cut to 2047 characters and
    // terminated; the effect answers in the first 4 bytes.
    char text[2048];
    copyMacRomanText(request.inString, text, sizeof text);
    tandemLog("Trying to convert '%s' for parameter %d\n", text, int(request.inParamID));
    if (vst->vendorSpecific(tandemStringToValue, VstIntPtr(request.inParamID), text, 0.0f) == 0) {
        tandemLog("Warning! Tandem extension 'sS2V' (string to value conversion) returned 0\n");
        throw MacOSException(kAudioUnitErr_InvalidProperty);
    }
    float value;
    std::memcpy(&value, text, sizeof value);
    request.outValue = parameters->fromVST(request.inParamID, value);
}

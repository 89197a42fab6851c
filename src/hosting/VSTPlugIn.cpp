#include "hosting/VSTPlugIn.h"

#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <algorithm>
#include <cstring>

VSTPlugIn* VSTPlugIn::tempPlugInPointer = nullptr;

namespace {

typedef AEffect* (*VSTMainFunction)(audioMasterCallback);

constexpr size_t scratchSize = 1024;
constexpr size_t maxCopiedName = 24;

// Copies at most 24 characters and terminates: callers hand 25-byte buffers.
void copyName(char* to, const char* from)
{
    size_t n = strnlen(from, maxCopiedName);
    std::memcpy(to, from, n);
    to[n] = '\0';
}

const char* onOff(bool on) { return on ? "on" : "off"; }

// Host-callback opcodes this host does not serve; each is logged by name.
const char* unsupportedCallbackName(VstInt32 opcode)
{
    switch (opcode) {
    case 8: return "audioMasterProcessEvents";
    case 9: return "audioMasterSetTime";
    case 10: return "audioMasterTempoAt";
    case 11: return "audioMasterGetNumAutomatableParameters";
    case 13: return "audioMasterIOChanged";
    case 18: return "audioMasterGetInputLatency";
    case 19: return "audioMasterGetOutputLatency";
    case 20: return "audioMasterGetPreviousPlug";
    case 21: return "audioMasterGetNextPlug";
    case 22: return "audioMasterWillReplaceOrAccumulate";
    case 24: return "audioMasterGetAutomationState";
    case 25: return "audioMasterOfflineStart";
    case 26: return "audioMasterOfflineRead";
    case 27: return "audioMasterOfflineWrite";
    case 28: return "audioMasterOfflineGetCurrentPass";
    case 29: return "audioMasterOfflineGetCurrentMetaPass";
    case 30: return "audioMasterSetOutputSampleRate";
    case 31: return "audioMasterGetSpeakerArrangement";
    case 35: return "audioMasterVendorSpecific";
    case 36: return "audioMasterSetIcon";
    case 39: return "audioMasterOpenWindow";
    case 40: return "audioMasterCloseWindow";
    case 41: return "audioMasterGetDirectory";
    case 45: return "audioMasterOpenFileSelector";
    case 46: return "audioMasterCloseFileSelector";
    case 47: return "audioMasterEditFile";
    case 48: return "audioMasterGetChunkFile";
    case 49: return "audioMasterGetInputSpeakerArrangement";
    default: return nullptr;
    }
}

} // namespace

void releaseBundle(CFBundleRef& bundle)
{
    if (!bundle)
        return;
    CFIndex count = CFGetRetainCount(bundle);
    tandemLog("Bundle retain count before releasing: %ld\n", static_cast<long>(count));
    if (count == 1) {
        CFBundleUnloadExecutable(bundle);
        tandemLog("Unloaded bundle executable\n");
    }
    CFRelease(bundle);
    bundle = nullptr;
}

VSTPlugIn::VSTPlugIn(VSTHost& host, CFBundleRef bundleToLoad, float rate, int frames)
    : hostRef(host), bundle(bundleToLoad), effect(nullptr), effectOpen(false), resumed(false),
      midiWanted(false), editorOpen(false), sampleRate(rate), blockSize(frames)
{
    if (bundle)
        CFRetain(bundle);
}

VSTPlugIn::~VSTPlugIn()
{
    if (editorOpen) {
        callDispatcher(effEditClose, 0, 0, nullptr, 0.0f);
        editorOpen = false;
    }
    if (effect) {
        // The effect's close trampoline deletes the effect; the record is gone after this.
        callDispatcher(effClose, 0, 0, nullptr, 0.0f);
        effect = nullptr;
    }
    releaseBundle(bundle);
}

VstIntPtr VSTPlugIn::callDispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                    void* pointer, float opt)
{
    if (!effect || !effect->dispatcher)
        return 0;
    try {
        return effect->dispatcher(effect, opcode, index, value, pointer, opt);
    } catch (...) {
        return 0;
    }
}

VstIntPtr VSTPlugIn::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* pointer,
                              float opt)
{
    return callDispatcher(opcode, index, value, pointer, opt);
}

VstIntPtr VSTPlugIn::getText(VstInt32 opcode, VstInt32 index, char* text)
{
    char scratch[scratchSize] = {};
    VstIntPtr result = callDispatcher(opcode, index, -1, scratch, 0.0f);
    scratch[scratchSize - 1] = '\0'; // an effect that fills the whole buffer gets cut
    copyName(text, scratch);
    return result;
}

void VSTPlugIn::open()
{
    tandemLog("VST open\n");
    if (!bundle || (!CFBundleIsExecutableLoaded(bundle) && !CFBundleLoadExecutable(bundle)))
        throw TandemException("Could not load VST bundle executable");

    // "main" is the legacy entry name many Linux effects export alone; it is
    // this platform's counterpart of "main_macho" and is looked up last.
    auto entry = reinterpret_cast<VSTMainFunction>(
        CFBundleGetFunctionPointerForName(bundle, CFSTR("main_macho")));
    if (!entry)
        entry = reinterpret_cast<VSTMainFunction>(
            CFBundleGetFunctionPointerForName(bundle, CFSTR("VSTPluginMain")));
    if (!entry)
        entry = reinterpret_cast<VSTMainFunction>(
            CFBundleGetFunctionPointerForName(bundle, CFSTR("main")));
    if (!entry)
        throw TandemException(
            "Could not locate function in bundle executable (\"main_macho\" or \"VSTPluginMain\")");

    tempPlugInPointer = this;
    AEffect* result = nullptr;
    try {
        result = entry(staticAudioMasterCallback);
    } catch (...) {
        tempPlugInPointer = nullptr;
        effect = nullptr;
        throw;
    }
    if (!result || result->magic != kEffectMagic) {
        tempPlugInPointer = nullptr;
        effect = nullptr; // an early callback may have stored the bad record
        throw TandemException("VST main() doesn't return object AEffect*");
    }
    effect = result;
    effect->reserved1 = reinterpret_cast<VstIntPtr>(this);
    tempPlugInPointer = nullptr;

    setSampleRate(sampleRate);
    if (blockSize != 0)
        setBlockSize(blockSize);
    callDispatcher(effOpen, 0, 0, nullptr, 0.0f);
    effectOpen = true;
}

void VSTPlugIn::suspend()
{
    tandemLog("VST suspend\n");
    callDispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    resumed = false;
}

void VSTPlugIn::resume()
{
    tandemLog("VST resume\n");
    callDispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    resumed = true;
}

void VSTPlugIn::setSampleRate(float rate)
{
    tandemLog("VST setSampleRate: %f\n", rate);
    if (effectOpen)
        callDispatcher(effSetSampleRate, 0, 0, nullptr, rate);
    sampleRate = rate;
}

void VSTPlugIn::setBlockSize(int n)
{
    tandemLog("VST setBlockSize: %d\n", n);
    if (effectOpen)
        callDispatcher(effSetBlockSize, 0, n, nullptr, 0.0f);
    blockSize = n;
}

bool VSTPlugIn::setBypass(bool on)
{
    tandemLog("VST setBypass: %s\n", onOff(on));
    return callDispatcher(effSetBypass, 0, on ? 1 : 0, nullptr, 0.0f) != 0;
}

VstIntPtr VSTPlugIn::getTailSize() { return callDispatcher(effGetTailSize, 0, 0, nullptr, 0.0f); }

VstIntPtr VSTPlugIn::getVersion()
{
    tandemLog("VST getVersion\n");
    return callDispatcher(effGetVstVersion, 0, 0, nullptr, 0.0f);
}

void VSTPlugIn::connectInputPin(int pin, bool on)
{
    tandemLog("VST connectInputPin: %d=%s\n", pin, onOff(on));
    callDispatcher(effConnectInput, pin, on ? 1 : 0, nullptr, 0.0f);
}

void VSTPlugIn::connectOutputPin(int pin, bool on)
{
    tandemLog("VST connectOutputPin: %d=%s\n", pin, onOff(on));
    callDispatcher(effConnectOutput, pin, on ? 1 : 0, nullptr, 0.0f);
}

bool VSTPlugIn::getInputProperties(int pin, VstPinProperties* properties)
{
    tandemLog("VST getInputProperties: %d\n", pin);
    return callDispatcher(effGetInputProperties, pin, 0, properties, 0.0f) != 0;
}

bool VSTPlugIn::getOutputProperties(int pin, VstPinProperties* properties)
{
    tandemLog("VST getOutputProperties: %d\n", pin);
    return callDispatcher(effGetOutputProperties, pin, 0, properties, 0.0f) != 0;
}

void VSTPlugIn::processEvents(VstEvents* events)
{
    callDispatcher(effProcessEvents, 0, 0, events, 0.0f);
}

VstIntPtr VSTPlugIn::vendorSpecific(VstInt32 index, VstIntPtr value, void* pointer, float opt)
{
    return callDispatcher(effVendorSpecific, index, value, pointer, opt);
}

bool VSTPlugIn::setParameterFromString(int parameter, const char* text)
{
    tandemLog("VST setParameterFromString: %d=%s\n", parameter, text ? text : "<null>");
    return callDispatcher(effString2Parameter, parameter, 0, const_cast<char*>(text), 0.0f) != 0;
}

void VSTPlugIn::getParameterName(int parameter, char* text)
{
    tandemLog("VST getParameterName: %d\n", parameter);
    getText(effGetParamName, parameter, text);
}

void VSTPlugIn::getParameterLabel(int parameter, char* text)
{
    tandemLog("VST getParameterLabel: %d\n", parameter);
    getText(effGetParamLabel, parameter, text);
}

void VSTPlugIn::getParameterDisplay(int parameter, char* text)
{
    tandemLog("VST getParameterDisplay: %d\n", parameter);
    getText(effGetParamDisplay, parameter, text);
}

bool VSTPlugIn::getProgramName(int program, char* text)
{
    tandemLog("VST getProgramName: %d\n", program);
    char name[maxCopiedName + 1];
    if (getText(effGetProgramNameIndexed, program, name) == 0)
        return false;
    std::memcpy(text, name, sizeof name);
    return true;
}

void VSTPlugIn::getCurrentProgramName(char* text)
{
    tandemLog("VST getCurrentProgramName\n");
    getText(effGetProgramName, 0, text);
}

void VSTPlugIn::setCurrentProgramName(const char* text)
{
    tandemLog("VST setCurrentProgramName: %s\n", text);
    callDispatcher(effSetProgramName, 0, 0, const_cast<char*>(text), 0.0f);
}

int VSTPlugIn::getCurrentProgram()
{
    tandemLog("VST getCurrentProgram\n");
    VstIntPtr program = callDispatcher(effGetProgram, 0, 0, nullptr, 0.0f);
    return static_cast<int>(std::min<VstIntPtr>(program, getProgramCount()));
}

void VSTPlugIn::setCurrentProgram(int program)
{
    tandemLog("VST setCurrentProgram: %d\n", program);
    callDispatcher(effSetProgram, 0, program, nullptr, 0.0f);
}

void VSTPlugIn::openEditor(void* parentView)
{
    // Open only once the effect says so: idle must not reach an editor that failed to open.
    if (callDispatcher(effEditOpen, 0, 0, parentView, 0.0f) == 0)
        throw TandemException("VST could not open editor");
    editorOpen = true;
}

void VSTPlugIn::closeEditor()
{
    callDispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    editorOpen = false;
}

bool VSTPlugIn::getEditorDimensions(int& width, int& height)
{
    ERect* rect = nullptr;
    callDispatcher(effEditGetRect, 0, 0, &rect, 0.0f);
    if (!rect) {
        width = height = 0;
        return false;
    }
    width = rect->right - rect->left;
    height = rect->bottom - rect->top;
    return true;
}

void VSTPlugIn::idle()
{
    callDispatcher(effIdle, 0, 0, nullptr, 0.0f);
    if (editorOpen)
        callDispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
}

void VSTPlugIn::processReplacing(float** inputs, float** outputs, int frames)
{
    if (!effect || !effect->processReplacing)
        return;
    try {
        effect->processReplacing(effect, inputs, outputs, frames);
    } catch (...) {
    }
}

void VSTPlugIn::processAccumulating(float** inputs, float** outputs, int frames)
{
    if (!effect || !effect->process)
        return;
    try {
        effect->process(effect, inputs, outputs, frames);
    } catch (...) {
    }
}

void VSTPlugIn::setParameter(int parameter, float value)
{
    if (!effect || !effect->setParameter)
        return;
    try {
        effect->setParameter(effect, parameter, value);
    } catch (...) {
    }
}

float VSTPlugIn::getParameter(int parameter)
{
    if (!effect || !effect->getParameter)
        return 0.0f;
    try {
        return effect->getParameter(effect, parameter);
    } catch (...) {
        return 0.0f;
    }
}

VstIntPtr VSTPlugIn::staticAudioMasterCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                               VstIntPtr value, void* pointer, float opt)
{
    try {
        VSTPlugIn* plugIn = nullptr;
        if (effect && effect->reserved1) {
            plugIn = reinterpret_cast<VSTPlugIn*>(effect->reserved1);
        } else {
            // Called from inside the effect's main function: the record is not
            // ours yet, but the proxy being opened is waiting for it.
            plugIn = tempPlugInPointer;
            if (plugIn && effect)
                plugIn->effect = effect;
        }
        // A callback with no proxy to answer it (outside any open) gets nothing.
        if (!plugIn)
            return 0;
        return plugIn->myAudioMasterCallback(opcode, index, value, pointer, opt);
    } catch (...) {
        return 0;
    }
}

VstIntPtr VSTPlugIn::myAudioMasterCallback(VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                           void* pointer, float opt)
{
    switch (opcode) {
    case audioMasterAutomate:
        hostRef.automate(this, index, opt);
        return 0;
    case audioMasterVersion:
        tandemLog("VST audioMasterVersion\n");
        return 2300;
    case audioMasterCurrentId:
        tandemLog("VST audioMasterCurrentId\n");
        return effect ? effect->uniqueID : 0;
    case audioMasterIdle:
        tandemLog("VST audioMasterIdle\n");
        hostRef.idle(this);
        return 0;
    case audioMasterPinConnected:
        tandemLog("VST audioMasterPinConnected: i/o=%s, pin=%d\n", value != 0 ? "out" : "in",
                  index);
        return hostRef.isIOPinConnected(this, value != 0, index) ? 0 : 1;
    case audioMasterWantMidi:
        tandemLog("VST audioMasterWantMidi\n");
        midiWanted = true;
        return 1;
    case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(hostRef.getTimeInfo(this, static_cast<int>(value)));
    case audioMasterGetParameterQuantization:
        tandemLog("VST audioMasterGetParameterQuantization\n");
        return 1;
    case audioMasterNeedIdle:
        tandemLog("VST audioMasterNeedIdle\n");
        return 1;
    case audioMasterSizeWindow:
        tandemLog("VST audioMasterSizeWindow: width=%d, height=%d\n", index,
                  static_cast<int>(value));
        hostRef.resizeWindow(this, index, static_cast<int>(value));
        return 1;
    case audioMasterGetSampleRate:
        tandemLog("VST audioMasterGetSampleRate\n");
        return static_cast<VstIntPtr>(sampleRate + 0.5);
    case audioMasterGetBlockSize:
        tandemLog("VST audioMasterGetBlockSize\n");
        return blockSize;
    case audioMasterGetCurrentProcessLevel:
        return 0;
    case audioMasterGetVendorString:
        tandemLog("VST audioMasterGetVendorString\n");
        if (pointer)
            hostRef.getVendor(this, static_cast<char*>(pointer));
        return 1;
    case audioMasterGetProductString:
        tandemLog("VST audioMasterGetProductString\n");
        if (pointer)
            hostRef.getProduct(this, static_cast<char*>(pointer));
        return 1;
    case audioMasterGetVendorVersion:
        tandemLog("VST audioMasterGetVendorVersion\n");
        return hostRef.getVersion(this);
    case audioMasterCanDo: {
        const char* question = pointer ? static_cast<const char*>(pointer) : "";
        tandemLog("VST audioMasterCanDo: %s\n", question);
        return hostRef.canDo(this, question) ? 1 : 0;
    }
    case audioMasterGetLanguage:
        tandemLog("VST audioMasterGetLanguage (not supported)\n");
        return 1;
    case audioMasterUpdateDisplay:
        tandemLog("VST audioMasterUpdateDisplay\n");
        hostRef.updateDisplay(this);
        return 1;
    case audioMasterBeginEdit:
        tandemLog("VST audioMasterBeginEdit: %d\n", index);
        hostRef.beginEdit(this, index);
        return 1;
    case audioMasterEndEdit:
        tandemLog("VST audioMasterEndEdit: %d\n", index);
        hostRef.endEdit(this, index);
        return 1;
    default:
        if (const char* name = unsupportedCallbackName(opcode)) {
            tandemLog("VST %s (not supported)\n", name);
            return 0;
        }
        tandemLog("VST unknown callback opcode: %d\n", opcode);
        return 0;
    }
}

// The effect behind the AudioUnit component tests (see FakeBusEffect.h).

#include "FakeBusEffect.h"

#include <cstring>

namespace {

FakeBusState defaultState()
{
    FakeBusState s{};
    s.numInputs = s.numOutputs = 2;
    s.stereoInputPins = s.stereoOutputPins = 1;
    s.describePins = true;
    s.tandemExtensions = true;
    return s;
}

} // namespace

VST_EXPORT FakeBusState fakeBusState;
FakeBusState fakeBusState = defaultState();

namespace {

constexpr VstInt32 tandemHello = vstFourCC('s', 'H', 'i', '!');
constexpr VstInt32 tandemInputSilence = vstFourCC('s', 'I', '0', '0');
constexpr VstInt32 tandemOutputSilence = vstFourCC('s', 'O', '0', '0');

FakeBusState& state() { return fakeBusState; }

audioMasterCallback host = nullptr;

bool describePin(void* ptr, int pin, int count, unsigned stereoPins, const char* prefix)
{
    if (!state().describePins || pin < 0 || pin >= count)
        return false;
    VstPinProperties* properties = static_cast<VstPinProperties*>(ptr);
    properties->flags = (stereoPins >> pin) & 1u ? kVstPinIsStereo : 0;
    properties->label[0] = prefix[0];
    properties->label[1] = char('0' + pin % 10);
    properties->label[2] = '\0';
    return true;
}

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    FakeBusState& s = state();
    switch (opcode) {
    case effOpen:
        s.open = true;
        return 0;
    case effClose:
        s.open = false;
        delete e;
        return 1;
    case effSetSampleRate:
        ++s.sampleRateCalls;
        s.lastSampleRate = opt;
        return 0;
    case effSetBlockSize:
        ++s.blockSizeCalls;
        s.lastBlockSize = value;
        return 0;
    case effGetInputProperties:
        return describePin(ptr, index, e->numInputs, s.stereoInputPins, "I");
    case effGetOutputProperties:
        return describePin(ptr, index, e->numOutputs, s.stereoOutputPins, "O");
    case effGetTailSize:
        return s.tailSize;
    case effSetBypass:
        return 1;
    case effIdle:
        ++s.idleCalls;
        return 0;
    case effEditIdle:
        ++s.editIdleCalls;
        return 0;
    case effProcessEvents: {
        const VstEvents* events = static_cast<const VstEvents*>(ptr);
        s.midiEventsReceived += events->numEvents;
        if (events->numEvents > 0) {
            const VstMidiEvent* last = reinterpret_cast<const VstMidiEvent*>(events->events[events->numEvents - 1]);
            std::memcpy(s.lastMidi, last->midiData, 3);
            s.lastMidiDelta = last->deltaFrames;
        }
        return 1;
    }
    case effVendorSpecific:
        if (!s.tandemExtensions)
            return 0;
        if (index == tandemHello)
            return 1;
        if (index == tandemInputSilence) {
            ++s.inputSilenceCalls;
            s.lastInputSilence = value;
            return 0;
        }
        if (index == tandemOutputSilence)
            return s.outputSilentAnswer ? 1 : 0;
        return 0;
    default:
        return 0;
    }
}

void setParameter(AEffect*, VstInt32 index, float value)
{
    ++state().setParameterCalls;
    if (index >= 0 && index < fakeBusParameterCount)
        state().parameters[index] = value;
}

float getParameter(AEffect*, VstInt32 index)
{
    return index >= 0 && index < fakeBusParameterCount ? state().parameters[index] : 0.0f;
}

void processReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames)
{
    ++state().processCalls;
    state().lastFrames = frames;
    if (const VstTimeInfo* time = reinterpret_cast<const VstTimeInfo*>(host(e, audioMasterGetTime, 0, 0, nullptr, 0.0f)))
        state().lastTimeInfo = *time;
    if (state().automateFromProcess) {
        host(e, audioMasterBeginEdit, 1, 0, nullptr, 0.0f);
        host(e, audioMasterAutomate, 1, 0, nullptr, 0.25f);
        host(e, audioMasterEndEdit, 1, 0, nullptr, 0.0f);
    }
    if (state().updateDisplayFromProcess)
        host(e, audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f);
    for (int c = 0; c < e->numOutputs; ++c) {
        const float* in = e->numInputs > 0 ? inputs[c < e->numInputs ? c : 0] : nullptr;
        for (VstInt32 i = 0; i < frames; ++i)
            outputs[c][i] = in ? in[i] * float(c + 1) : 0.0f;
    }
}

} // namespace

VST_EXPORT AEffect* VSTPluginMain(audioMasterCallback master)
{
    FakeBusState& s = state();
    host = master;
    AEffect* e = new AEffect();
    e->magic = kEffectMagic;
    e->dispatcher = dispatcher;
    e->setParameter = setParameter;
    e->getParameter = getParameter;
    e->processReplacing = processReplacing;
    e->numPrograms = 1;
    e->numParams = fakeBusParameterCount;
    e->numInputs = s.numInputs;
    e->numOutputs = s.numOutputs;
    e->initialDelay = s.initialDelay;
    e->flags = effFlagsCanReplacing;
    e->uniqueID = vstFourCC('F', 'B', 'u', 's');
    if (s.wantsMidi)
        master(e, audioMasterWantMidi, 0, 1, nullptr, 0.0f);
    return e;
}

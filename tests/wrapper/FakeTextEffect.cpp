// The effect behind the parameter-mapping tests (see FakeTextEffect.h).

#include "FakeTextEffect.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

VST_EXPORT FakeTextState fakeTextState;
FakeTextState fakeTextState = {};

namespace {

constexpr VstInt32 tandemHello = vstFourCC('s', 'H', 'i', '!');
constexpr VstInt32 valueToString = vstFourCC('s', 'V', '2', 'S');
constexpr VstInt32 stringToValue = vstFourCC('s', 'S', '2', 'V');

audioMasterCallback host = nullptr;

void display(int index, float v, char* text)
{
    switch (index) {
    case 0: std::snprintf(text, 25, "%g", double(20.0f * v - 10.0f)); break;
    case 1: std::snprintf(text, 25, "%.1f dB", double(10.0f * v)); break;
    case 2: std::strcpy(text, "3"); break;
    default: std::snprintf(text, 25, "%g", double(1.0f - v)); break;
    }
}

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float)
{
    FakeTextState& s = fakeTextState;
    static const char* const names[fakeTextParameterCount] = {"Gain", "  Drive", "Flat", "Falling"};
    switch (opcode) {
    case effClose:
        delete e;
        return 1;
    case effGetParamName:
        std::strcpy(static_cast<char*>(ptr), index >= 0 && index < fakeTextParameterCount ? names[index] : "");
        return 0;
    case effGetParamLabel:
        std::strcpy(static_cast<char*>(ptr), index == 0 ? "dB" : "");
        return 0;
    case effGetParamDisplay:
        if (index >= 0 && index < fakeTextParameterCount)
            display(index, s.parameters[index], static_cast<char*>(ptr));
        return 0;
    case effEditGetRect: {
        static ERect rect = {0, 0, 100, 200};
        *static_cast<ERect**>(ptr) = &rect;
        return 1;
    }
    case effEditOpen:
        ++s.editOpenCalls;
        s.lastEditParent = ptr;
        return 1;
    case effEditClose:
        ++s.editCloseCalls;
        if (s.endGestureOnEditClose)
            host(e, audioMasterEndEdit, 0, 0, nullptr, 0.0f);
        return 1;
    case effEditIdle:
        ++s.editIdleCalls;
        return 1;
    case effIdle:
        if (s.resizeOnIdleWidth > 0) {
            s.sizeWindowAnswer = host(e, audioMasterSizeWindow, s.resizeOnIdleWidth, s.resizeOnIdleHeight, nullptr, 0.0f);
            s.resizeOnIdleWidth = 0;
        }
        if (s.gestureOnIdleParameter >= 0) {
            const int parameter = s.gestureOnIdleParameter;
            s.gestureOnIdleParameter = -1;
            host(e, audioMasterBeginEdit, parameter, 0, nullptr, 0.0f);
            s.parameters[parameter] = s.gestureValue;
            host(e, audioMasterAutomate, parameter, 0, nullptr, s.gestureValue);
            host(e, audioMasterEndEdit, parameter, 0, nullptr, 0.0f);
        }
        return 0;
    case effVendorSpecific:
        if (!s.tandemExtensions)
            return 0;
        if (index == tandemHello)
            return 1;
        if (index == valueToString && value == 1 && !s.conversionsFail) {
            float v;
            std::memcpy(&v, ptr, sizeof v);
            display(1, v, static_cast<char*>(ptr));
            return 1;
        }
        if (index == stringToValue && value == 1 && !s.conversionsFail) {
            const char* text = static_cast<const char*>(ptr);
            const void* end = std::memchr(text, '\0', 2048);
            s.textWasTerminated = s.textWasTerminated && end != nullptr;
            const int length = end ? int(static_cast<const char*>(end) - text) : 2048;
            if (length > s.longestTextSeen)
                s.longestTextSeen = length;
            const float v = std::strtof(text, nullptr) / 10.0f;
            std::memcpy(ptr, &v, sizeof v);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

void setParameter(AEffect*, VstInt32 index, float value)
{
    if (index >= 0 && index < fakeTextParameterCount)
        fakeTextState.parameters[index] = value;
}

float getParameter(AEffect*, VstInt32 index)
{
    return index >= 0 && index < fakeTextParameterCount ? fakeTextState.parameters[index] : 0.0f;
}

void processReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames)
{
    for (int c = 0; c < e->numOutputs; ++c)
        for (VstInt32 i = 0; i < frames; ++i)
            outputs[c][i] = inputs[c][i];
}

} // namespace

VST_EXPORT AEffect* VSTPluginMain(audioMasterCallback master)
{
    host = master;
    AEffect* e = new AEffect();
    e->magic = kEffectMagic;
    e->dispatcher = dispatcher;
    e->setParameter = setParameter;
    e->getParameter = getParameter;
    e->processReplacing = processReplacing;
    e->numPrograms = 1;
    e->numParams = fakeTextParameterCount;
    e->numInputs = 2;
    e->numOutputs = 2;
    e->flags = effFlagsCanReplacing | (fakeTextState.hasEditor ? effFlagsHasEditor : 0);
    e->uniqueID = vstFourCC('F', 'T', 'x', 't');
    return e;
}

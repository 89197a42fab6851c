// Rendering: buffer lists and pointer arrays live on the stack, the pin
// buffers exist beforehand, and failures are statuses, so a render neither
// allocates nor locks. Log lines and notifications raised here are queued
// (TandemLog, TandemNotifier).

#include "wrapper/TandemRender.h"

#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"
#include "wrapper/TandemNotifications.h"
#include "hosting/VSTTimeInfo.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr AudioUnitRenderActionFlags preRender = 4;
constexpr AudioUnitRenderActionFlags postRender = 8;
constexpr AudioUnitRenderActionFlags outputIsSilence = 16;

constexpr VstInt32 tandemInputSilence = 0x73493030;  // 'sI00'
constexpr VstInt32 tandemOutputSilence = 0x734f3030; // 'sO00'

// An AudioBufferList with room for the channels of one bus (at most the pin
// limit), on the stack.
struct BusBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[TandemRenderer::maxPins];
    AudioBufferList* list() { return reinterpret_cast<AudioBufferList*>(this); }
};
static_assert(offsetof(BusBufferList, mBuffers) == offsetof(AudioBufferList, mBuffers),
              "BusBufferList is read as an AudioBufferList");

} // namespace

TandemRenderer::TandemRenderer(VSTPlugIn& vst, TandemNotifier& notifier, bool tandemExtensions)
    : vst(vst), notifier(notifier), vstSupportsTandemExtensions(tandemExtensions),
      midiEventStorage(new VstMidiEvent[maxMidiEvents]())
{
    for (int i = 0; i < maxMidiEvents; ++i) {
        midiEventStorage[i].type = kVstMidiType;
        midiEventStorage[i].byteSize = 24;
        vstMidiEvents.events[i] = reinterpret_cast<VstEvent*>(&midiEventStorage[i]);
    }
}

TandemRenderer::~TandemRenderer()
{
    for (int b = 0; b < maxBuses; ++b) {
        if (inputBusNames[b])
            CFRelease(inputBusNames[b]);
        if (outputBusNames[b])
            CFRelease(outputBusNames[b]);
    }
}

void TandemRenderer::buildBuses(bool sameWidthForAllBuses)
{
    buildBuses(true, sameWidthForAllBuses);
    buildBuses(false, sameWidthForAllBuses);
}

void TandemRenderer::buildBuses(bool input, bool sameWidthForAllBuses)
{
    const int pins = std::max(0, input ? vst.getInputCount() : vst.getOutputCount());
    int& busCount = input ? inputBusCount : outputBusCount;
    int* firstPin = input ? inputBusFirstPin : outputBusFirstPin;
    int* activeChannels = input ? inputBusActiveChannels : outputBusActiveChannels;
    CFStringRef* names = input ? inputBusNames : outputBusNames;

    int pin = 0;
    int width = 0;
    while (pin < pins && busCount < maxBuses) {
        VstPinProperties properties;
        std::memset(&properties, 0, sizeof properties);
        const bool described = input ? vst.getInputProperties(pin, &properties)
                                     : vst.getOutputProperties(pin, &properties);
        if (pin == 0 || !sameWidthForAllBuses) {
            width = pins % 2 == 0 ? 2 : 1;
            if (described)
                width = (properties.flags & kVstPinIsStereo) ? 2 : 1;
        }
        if (pin + width > pins)
            break;
        firstPin[busCount] = pin;
        if (described) {
            properties.label[sizeof properties.label - 1] = '\0';
            names[busCount] = CFStringCreateWithCString(kCFAllocatorDefault, properties.label,
                                                        kCFStringEncodingMacRoman);
        }
        activeChannels[busCount] = width;
        ++busCount;
        pin += width;
    }
    firstPin[busCount] = pin;
}

void TandemRenderer::setMaxFramesPerSlice(int frames)
{
    // The new buffers are made before the old ones go, so that a failed
    // allocation leaves the renderer with buffers it can render into.
    const int pins = std::max(vst.getInputCount(), vst.getOutputCount());
    std::unique_ptr<float[]> fresh[maxPins + 1];
    for (int i = 0; i <= pins; ++i)
        fresh[i].reset(new float[size_t(frames)]());
    for (int i = 0; i < maxPins; ++i)
        ioBuffers[i] = i < pins ? std::move(fresh[i]) : nullptr;
    spareBuffer = std::move(fresh[pins]);
    maxFramesPerSlice = frames;
}

bool TandemRenderer::queueMidiEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset)
{
    if (vstMidiEvents.numEvents == maxMidiEvents)
        return false;
    VstMidiEvent* event = reinterpret_cast<VstMidiEvent*>(vstMidiEvents.events[vstMidiEvents.numEvents]);
    event->deltaFrames = VstInt32(offset);
    event->midiData[0] = static_cast<unsigned char>(status);
    event->midiData[1] = static_cast<unsigned char>(data1);
    event->midiData[2] = static_cast<unsigned char>(data2);
    ++vstMidiEvents.numEvents;
    return true;
}

OSStatus TandemRenderer::render(AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                                UInt32 bus, UInt32 frames, AudioBufferList* ioData) noexcept
{
    if (!ioData || !timeStamp)
        return paramErr;
    if (bus >= UInt32(outputBusCount)) {
        tandemLog("AURender called for an invalid bus (%u)\n", static_cast<unsigned>(bus));
        return paramErr;
    }
    if (frames > UInt32(maxFramesPerSlice)) {
        tandemLog("AURender called for an unexpected large number of frames (expected max %d, got %u)\n",
                  maxFramesPerSlice, static_cast<unsigned>(frames));
        return paramErr;
    }

    AudioUnitRenderActionFlags flags = (ioActionFlags ? *ioActionFlags : 0) | preRender;
    notifier.callRenderNotifies(&flags, timeStamp, bus, frames, ioData);
    flags &= ~preRender;

    if (timeStamp->mSampleTime != lastRenderSampleTime) {
        lastRenderSampleTime = timeStamp->mSampleTime;
        VSTTimeInfoProcs procs;
        procs.hostUserData = hostCallbacks.hostUserData;
        procs.beatAndTempoProc = hostCallbacks.beatAndTempoProc;
        procs.musicalTimeLocationProc = hostCallbacks.musicalTimeLocationProc;
        procs.transportStateProc = hostCallbacks.transportStateProc;
        updateVSTTimeInfo(vstTimeInfo, timeStamp->mSampleTime, sampleRate, procs);

        float* inputPointers[maxPins] = {};
        float* outputPointers[maxPins] = {};
        // Pins that fit no bus (an odd pin after stereo buses) still get a
        // buffer: silence in, scratch out. The effect may touch every pin.
        for (int pin = inputBusFirstPin[inputBusCount]; pin < vst.getInputCount(); ++pin) {
            std::memset(ioBuffers[pin].get(), 0, size_t(frames) * sizeof(float));
            inputPointers[pin] = ioBuffers[pin].get();
        }
        for (int pin = outputBusFirstPin[outputBusCount]; pin < vst.getOutputCount(); ++pin)
            outputPointers[pin] = ioBuffers[pin].get();
        bool inputIsSilent = true;
        const OSStatus status = collectInputAudio(frames, inputPointers, timeStamp, inputIsSilent);
        if (status != noErr) {
            // The next request for this time stamp tries again.
            lastRenderSampleTime = noSampleTime;
            return status;
        }
        for (int b = 0; b < outputBusCount; ++b) {
            const int first = outputBusFirstPin[b];
            const int width = getMaxOutputChannels(b);
            // Surplus pins of a bus narrowed by its format write into the
            // active channels' buffers; a bus widened by a host workaround
            // has only its own pins.
            const int channels = std::min(outputBusActiveChannels[b], width);
            for (int s = 0; s < width; ++s)
                outputPointers[first + s] = ioBuffers[first + s % channels].get();
        }
        renderOutput(frames, inputPointers, outputPointers, inputIsSilent);
    }

    if (outputIsSilent)
        flags |= outputIsSilence;
    else
        flags &= ~outputIsSilence;

    // Each of the caller's buffers gets one of this bus's channels: beyond
    // the bus's own channels (a mono bus set to stereo, or simply more
    // buffers than channels) the last channel is repeated, so that no buffer
    // ever reads another bus's pins or memory past the pin buffers.
    const int first = outputBusFirstPin[bus];
    const int channels = std::max(1, std::min(outputBusActiveChannels[bus], getMaxOutputChannels(bus)));
    const size_t bytes = size_t(frames) * sizeof(float);
    for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i) {
        AudioBuffer& buffer = ioData->mBuffers[i];
        float* source = ioBuffers[first + std::min(int(i), channels - 1)].get();
        if (buffer.mData)
            std::memcpy(buffer.mData, source, std::min<size_t>(bytes, buffer.mDataByteSize));
        else
            buffer.mData = source;
    }

    flags |= postRender;
    notifier.callRenderNotifies(&flags, timeStamp, bus, frames, ioData);
    if (ioActionFlags)
        *ioActionFlags = flags & ~postRender;
    return noErr;
}

OSStatus TandemRenderer::collectInputAudio(UInt32 frames, float** inputPointers, const AudioTimeStamp* timeStamp,
                                           bool& allSilent) noexcept
{
    allSilent = true;
    const UInt32 bytes = frames * UInt32(sizeof(float));
    for (int b = 0; b < inputBusCount; ++b) {
        const int first = inputBusFirstPin[b];
        const int width = getMaxInputChannels(b);
        const int active = inputBusActiveChannels[b];

        BusBufferList buffers;
        buffers.mNumberBuffers = UInt32(active);
        for (int i = 0; i < active; ++i) {
            buffers.mBuffers[i].mNumberChannels = 1;
            buffers.mBuffers[i].mDataByteSize = bytes;
            // A channel beyond the bus's pins (stereo accepted on a mono
            // bus) is received but not passed on: the effect has no pin for it.
            buffers.mBuffers[i].mData = i < width ? ioBuffers[first + i].get() : spareBuffer.get();
        }
        AudioUnitRenderActionFlags flags = 0;

        if (inputCallbacks[b].inputProc) {
            const OSStatus status = inputCallbacks[b].inputProc(inputCallbacks[b].inputProcRefCon, &flags,
                                                                timeStamp, UInt32(b), frames, buffers.list());
            if (status != noErr)
                return status;
        } else if (inputConnections[b].sourceAudioUnit) {
            for (int i = 0; i < active; ++i)
                buffers.mBuffers[i].mData = nullptr;
            const OSStatus status = AudioUnitRender(inputConnections[b].sourceAudioUnit, &flags, timeStamp,
                                                    inputConnections[b].sourceOutputNumber, frames, buffers.list());
            if (status != noErr)
                return status;
        } else {
            for (int i = 0; i < std::min(active, width); ++i)
                std::memset(ioBuffers[first + i].get(), 0, bytes);
            flags = outputIsSilence;
        }
        if (allSilent)
            allSilent = (flags & outputIsSilence) != 0;

        for (int s = 0; s < width; ++s) {
            float* data = static_cast<float*>(buffers.mBuffers[s % active].mData);
            if (!data) {
                // A source that handed back no samples is heard as silence.
                data = ioBuffers[first + s].get();
                std::memset(data, 0, bytes);
            }
            inputPointers[first + s] = data;
        }
    }
    return noErr;
}

void TandemRenderer::renderOutput(UInt32 frames, float** inputPointers, float** outputPointers,
                                  bool inputIsSilent) noexcept
{
    if (vstMidiEvents.numEvents > 0) {
        vst.processEvents(reinterpret_cast<VstEvents*>(&vstMidiEvents));
        vstMidiEvents.numEvents = 0;
    }
    if (vstSupportsTandemExtensions)
        vst.vendorSpecific(tandemInputSilence, inputIsSilent ? 1 : 0, nullptr, 0.0f);
    vst.processReplacing(inputPointers, outputPointers, int(frames));
    outputIsSilent = vstSupportsTandemExtensions && vst.vendorSpecific(tandemOutputSilence, 0, nullptr, 0.0f) != 0;
}

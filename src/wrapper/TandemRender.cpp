// Rendering: one AudioUnit render request becomes at most one processReplacing
// call of the effect, on the component's own pin buffers. Nothing here
// allocates or locks: buffer lists and pointer arrays live on the stack, the
// pin buffers exist beforehand.

#include "wrapper/TandemComponent.h"

#include "wrapper/TandemException.h"
#include "wrapper/TandemLog.h"
#include "wrapper/VSTTimeInfo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

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
    AudioBuffer mBuffers[TandemComponent::maxPins];
    AudioBufferList* list() { return reinterpret_cast<AudioBufferList*>(this); }
};
static_assert(offsetof(BusBufferList, mBuffers) == offsetof(AudioBufferList, mBuffers),
              "BusBufferList is read as an AudioBufferList");

} // namespace

void TandemComponent::callRenderNotifies(AudioUnitRenderActionFlags* flags,
                                         const AudioTimeStamp* timeStamp, UInt32 bus,
                                         UInt32 frames, AudioBufferList* ioData)
{
    for (int i = renderNotifyCount - 1; i >= 0; --i)
        renderNotifies[i].inputProc(renderNotifies[i].inputProcRefCon, flags, timeStamp, bus,
                                    frames, ioData);
}

void TandemComponent::render(AudioUnitRenderActionFlags* ioActionFlags,
                             const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                             AudioBufferList* ioData)
{
    if (!ioData || !timeStamp)
        throw MacOSException(-50);
    if (bus >= UInt32(outputBusCount)) {
        tandemLog("AURender called for an invalid bus (%u)\n", static_cast<unsigned>(bus));
        throw MacOSException(-50);
    }
    if (frames > UInt32(maxFramesPerSlice)) {
        tandemLog("AURender called for an unexpected large number of frames (expected max %d, got %u)\n",
                  maxFramesPerSlice, static_cast<unsigned>(frames));
        throw MacOSException(-50);
    }

    AudioUnitRenderActionFlags flags = (ioActionFlags ? *ioActionFlags : 0) | preRender;
    callRenderNotifies(&flags, timeStamp, bus, frames, ioData);
    flags &= ~preRender;

    if (timeStamp->mSampleTime != lastRenderSampleTime) {
        lastRenderSampleTime = timeStamp->mSampleTime;
        VSTTimeInfoProcs procs;
        procs.hostUserData = hostCallbacks.hostUserData;
        procs.beatAndTempoProc = hostCallbacks.beatAndTempoProc;
        procs.musicalTimeLocationProc = hostCallbacks.musicalTimeLocationProc;
        procs.transportStateProc = hostCallbacks.transportStateProc;
        updateVSTTimeInfo(vstTimeInfo, timeStamp->mSampleTime, streamFormat.mSampleRate, procs);

        float* inputPointers[maxPins] = {};
        float* outputPointers[maxPins] = {};
        // Pins that fit no bus (an odd pin after stereo buses) still get a
        // buffer: silence in, scratch out. The effect may touch every pin.
        for (int pin = inputBusFirstPin[inputBusCount]; pin < vst->getInputCount(); ++pin) {
            std::memset(ioBuffers[pin], 0, size_t(frames) * sizeof(float));
            inputPointers[pin] = ioBuffers[pin];
        }
        for (int pin = outputBusFirstPin[outputBusCount]; pin < vst->getOutputCount(); ++pin)
            outputPointers[pin] = ioBuffers[pin];
        const bool inputIsSilent = collectInputAudio(frames, inputPointers, timeStamp);
        for (int b = 0; b < outputBusCount; ++b) {
            const int first = outputBusFirstPin[b];
            const int width = getMaxOutputChannels(b);
            // Surplus pins of a bus narrowed by its format write into the
            // active channels' buffers; a bus widened by a host workaround
            // has only its own pins.
            const int channels = std::min(outputBusActiveChannels[b], width);
            for (int s = 0; s < width; ++s)
                outputPointers[first + s] = ioBuffers[first + s % channels];
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
        float* source = ioBuffers[first + std::min(int(i), channels - 1)];
        if (buffer.mData)
            std::memcpy(buffer.mData, source, std::min<size_t>(bytes, buffer.mDataByteSize));
        else
            buffer.mData = source;
    }

    flags |= postRender;
    callRenderNotifies(&flags, timeStamp, bus, frames, ioData);
    if (ioActionFlags)
        *ioActionFlags = flags & ~postRender;
}

bool TandemComponent::collectInputAudio(UInt32 frames, float** inputPointers,
                                        const AudioTimeStamp* timeStamp)
{
    bool allSilent = true;
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
            buffers.mBuffers[i].mData = i < width ? ioBuffers[first + i] : spareBuffer;
        }
        AudioUnitRenderActionFlags flags = 0;

        if (inputCallbacks[b].inputProc) {
            OSStatus status = inputCallbacks[b].inputProc(inputCallbacks[b].inputProcRefCon, &flags,
                                                          timeStamp, UInt32(b), frames, buffers.list());
            if (status != noErr)
                throw MacOSException(status);
        } else if (inputConnections[b].sourceAudioUnit) {
            for (int i = 0; i < active; ++i)
                buffers.mBuffers[i].mData = nullptr;
            OSStatus status = AudioUnitRender(inputConnections[b].sourceAudioUnit, &flags, timeStamp,
                                              inputConnections[b].sourceOutputNumber, frames,
                                              buffers.list());
            if (status != noErr)
                throw MacOSException(status);
        } else {
            for (int i = 0; i < std::min(active, width); ++i)
                std::memset(ioBuffers[first + i], 0, bytes);
            flags = outputIsSilence;
        }
        if (allSilent)
            allSilent = (flags & outputIsSilence) != 0;

        for (int s = 0; s < width; ++s) {
            float* data = static_cast<float*>(buffers.mBuffers[s % active].mData);
            if (!data) {
                // A source that handed back no samples is heard as silence.
                data = ioBuffers[first + s];
                std::memset(data, 0, bytes);
            }
            inputPointers[first + s] = data;
        }
    }
    return allSilent;
}

void TandemComponent::renderOutput(UInt32 frames, float** inputPointers, float** outputPointers,
                                   bool inputIsSilent)
{
    if (vstMidiEvents.numEvents > 0) {
        vst->processEvents(reinterpret_cast<VstEvents*>(&vstMidiEvents));
        vstMidiEvents.numEvents = 0;
    }
    if (vstSupportsTandemExtensions)
        vst->vendorSpecific(tandemInputSilence, inputIsSilent ? 1 : 0, nullptr, 0.0f);
    vst->processReplacing(inputPointers, outputPointers, int(frames));
    outputIsSilent = vstSupportsTandemExtensions &&
                     vst->vendorSpecific(tandemOutputSilence, 0, nullptr, 0.0f) != 0;
}

void TandemComponent::updateFormat(AudioUnitScope scope, AudioUnitElement bus,
                                   const AudioStreamBasicDescription& format)
{
    const bool input = scope == kAudioUnitScope_Input;
    tandemLog("Trying to set %s format on bus %d to %u channels\n", input ? "input" : "output",
              int(bus), static_cast<unsigned>(format.mChannelsPerFrame));
    const int width = input ? getMaxInputChannels(int(bus)) : getMaxOutputChannels(int(bus));

    const UInt32 requiredFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsNonInterleaved;
    if (format.mFormatID != kAudioFormatLinearPCM || format.mFramesPerPacket != 1 ||
        format.mBytesPerPacket != format.mBytesPerFrame ||
        (format.mFormatFlags & requiredFlags) != requiredFlags || format.mBitsPerChannel != 32 ||
        format.mBytesPerPacket != 4 || format.mChannelsPerFrame == 0 ||
        !std::isfinite(format.mSampleRate) || format.mSampleRate <= 0.0)
        throw MacOSException(kAudioUnitErr_FormatNotSupported);

    const int channels = int(format.mChannelsPerFrame);
    if (channels != width) {
        if (channels == 1 && width == 2 && canDoMonoIO) {
            // a mono stream on a stereo bus
        } else if (channels == 2 && width == 1 &&
                   (hostApplication == hostGarageBand41OrOlder || hostApplication == hostLogic80)) {
            tandemLog("%s is incorrectly trying to set the format on a mono bus to stereo (accepting this for now).\n",
                      hostApplication == hostLogic80 ? "Logic 8" : "GarageBand");
        } else {
            tandemLog("Expecting 1 to %d channels\n", width);
            throw MacOSException(kAudioUnitErr_FormatNotSupported);
        }
    }
    (input ? inputBusActiveChannels : outputBusActiveChannels)[bus] = channels;
    updateSampleRate(format.mSampleRate);
}

bool TandemComponent::updateSampleRate(Float64 rate)
{
    if (rate == streamFormat.mSampleRate)
        return false;
    streamFormat.mSampleRate = rate;
    vst->setSampleRate(float(rate));
    for (int b = 0; b < inputBusCount; ++b) {
        propertyChanged(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, AudioUnitElement(b));
        propertyChanged(kAudioUnitProperty_SampleRate, kAudioUnitScope_Input, AudioUnitElement(b));
    }
    for (int b = 0; b < outputBusCount; ++b) {
        propertyChanged(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, AudioUnitElement(b));
        propertyChanged(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, AudioUnitElement(b));
    }
    updateInitialDelayAndTailTimes();
    return true;
}

void TandemComponent::updateMaxFramesPerSlice(int frames)
{
    if (frames == maxFramesPerSlice)
        return;
    const int previous = maxFramesPerSlice;
    maxFramesPerSlice = frames;
    try {
        reallocateIOBuffers();
    } catch (...) {
        maxFramesPerSlice = previous; // the old buffers are still in place
        throw;
    }
    propertyChanged(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0);
    vst->setBlockSize(frames);
}

void TandemComponent::reallocateIOBuffers()
{
    // The new buffers are made before the old ones go, so that a failed
    // allocation leaves the component with buffers it can render into.
    const int pins = std::max(vst->getInputCount(), vst->getOutputCount());
    std::unique_ptr<float[]> fresh[maxPins + 1];
    for (int i = 0; i <= pins; ++i)
        fresh[i].reset(new float[size_t(maxFramesPerSlice)]());
    for (int i = 0; i < maxPins; ++i) {
        delete[] ioBuffers[i];
        ioBuffers[i] = i < pins ? fresh[i].release() : nullptr;
    }
    delete[] spareBuffer;
    spareBuffer = fresh[pins].release();
}

bool TandemComponent::updateInitialDelayTime()
{
    const double latency = double(vst->getInitialDelay()) / streamFormat.mSampleRate;
    if (latency == initialDelayTime)
        return false;
    initialDelayTime = latency;
    return true;
}

bool TandemComponent::updateTailTime()
{
    const double tail = double(vst->getTailSize()) / streamFormat.mSampleRate;
    if (tail == tailTime)
        return false;
    tailTime = tail;
    return true;
}

void TandemComponent::updateInitialDelayAndTailTimes()
{
    if (updateInitialDelayTime())
        propertyChanged(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0);
    if (vstSupportsTailTime && updateTailTime())
        propertyChanged(kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0);
}

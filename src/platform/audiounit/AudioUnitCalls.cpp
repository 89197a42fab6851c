// The AudioUnit calls: each fills its parameter block and sends it to the
// unit's entry. Nothing here locks or allocates, so render calls may come
// from the audio thread.
#include "AudioUnit/AudioUnit.h"
#include "platform/components/ComponentRegistry.h"

namespace {

// Fills the header and sends the block.
template <typename Block>
OSStatus send(AudioUnit unit, SInt16 selector, Block& block) {
    static_assert(sizeof(Block) - 8 <= 0xFF, "paramSize is one byte");
    block.flags = 0;
    block.paramSize = static_cast<UInt8>(sizeof(Block) - 8);
    block.what = selector;
    block.padding = 0;
    return gravel_components::sendRequest(unit, reinterpret_cast<ComponentParameters*>(&block));
}

}  // namespace

OSStatus AudioUnitInitialize(AudioUnit inUnit) {
    AudioUnitNoArgumentsParams block{};
    return send(inUnit, kAudioUnitInitializeSelect, block);
}

OSStatus AudioUnitUninitialize(AudioUnit inUnit) {
    AudioUnitNoArgumentsParams block{};
    return send(inUnit, kAudioUnitUninitializeSelect, block);
}

OSStatus AudioUnitGetPropertyInfo(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, UInt32* outDataSize, Boolean* outWritable) {
    AudioUnitGetPropertyInfoParams block{};
    block.inID = inID;
    block.inScope = inScope;
    block.inElement = inElement;
    block.outDataSize = outDataSize;
    block.outWritable = outWritable;
    return send(inUnit, kAudioUnitGetPropertyInfoSelect, block);
}

OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void* outData, UInt32* ioDataSize) {
    AudioUnitGetPropertyParams block{};
    block.inID = inID;
    block.inScope = inScope;
    block.inElement = inElement;
    block.outData = outData;
    block.ioDataSize = ioDataSize;
    return send(inUnit, kAudioUnitGetPropertySelect, block);
}

OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    AudioUnitSetPropertyParams block{};
    block.inID = inID;
    block.inScope = inScope;
    block.inElement = inElement;
    block.inData = inData;
    block.inDataSize = inDataSize;
    return send(inUnit, kAudioUnitSetPropertySelect, block);
}

OSStatus AudioUnitAddPropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc,
                                      void* inProcUserData) {
    AudioUnitPropertyListenerParams block{};
    block.inID = inID;
    block.inProc = inProc;
    block.inProcUserData = inProcUserData;
    return send(inUnit, kAudioUnitAddPropertyListenerSelect, block);
}

OSStatus AudioUnitRemovePropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID,
                                         AudioUnitPropertyListenerProc inProc) {
    AudioUnitPropertyListenerParams block{};
    block.inID = inID;
    block.inProc = inProc;
    return send(inUnit, kAudioUnitRemovePropertyListenerSelect, block);
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit inUnit, AudioUnitPropertyID inID,
                                                     AudioUnitPropertyListenerProc inProc, void* inProcUserData) {
    AudioUnitPropertyListenerParams block{};
    block.inID = inID;
    block.inProc = inProc;
    block.inProcUserData = inProcUserData;
    return send(inUnit, kAudioUnitRemovePropertyListenerWithUserDataSelect, block);
}

OSStatus AudioUnitAddRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void* inProcUserData) {
    AudioUnitRenderNotifyParams block{};
    block.inProc = inProc;
    block.inProcUserData = inProcUserData;
    return send(inUnit, kAudioUnitAddRenderNotifySelect, block);
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void* inProcUserData) {
    AudioUnitRenderNotifyParams block{};
    block.inProc = inProc;
    block.inProcUserData = inProcUserData;
    return send(inUnit, kAudioUnitRemoveRenderNotifySelect, block);
}

OSStatus AudioUnitGetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue* outValue) {
    AudioUnitGetParameterParams block{};
    block.inID = inID;
    block.inScope = inScope;
    block.inElement = inElement;
    block.outValue = outValue;
    return send(inUnit, kAudioUnitGetParameterSelect, block);
}

OSStatus AudioUnitSetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue inValue,
                               UInt32 inBufferOffsetInFrames) {
    AudioUnitSetParameterParams block{};
    block.inID = inID;
    block.inScope = inScope;
    block.inElement = inElement;
    block.inValue = inValue;
    block.inBufferOffsetInFrames = inBufferOffsetInFrames;
    return send(inUnit, kAudioUnitSetParameterSelect, block);
}

OSStatus AudioUnitScheduleParameters(AudioUnit inUnit, const AudioUnitParameterEvent* inParameterEvent,
                                     UInt32 inNumParamEvents) {
    AudioUnitScheduleParametersParams block{};
    block.inParameterEvent = inParameterEvent;
    block.inNumParamEvents = inNumParamEvents;
    return send(inUnit, kAudioUnitScheduleParametersSelect, block);
}

OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber, UInt32 inNumberFrames,
                         AudioBufferList* ioData) {
    AudioUnitRenderParams block{};
    block.ioActionFlags = ioActionFlags;
    block.inTimeStamp = inTimeStamp;
    block.inOutputBusNumber = inOutputBusNumber;
    block.inNumberFrames = inNumberFrames;
    block.ioData = ioData;
    return send(inUnit, kAudioUnitRenderSelect, block);
}

OSStatus AudioUnitReset(AudioUnit inUnit, AudioUnitScope inScope, AudioUnitElement inElement) {
    AudioUnitResetParams block{};
    block.inScope = inScope;
    block.inElement = inElement;
    return send(inUnit, kAudioUnitResetSelect, block);
}

OSStatus MusicDeviceMIDIEvent(MusicDeviceComponent inUnit, UInt32 inStatus, UInt32 inData1, UInt32 inData2,
                              UInt32 inOffsetSampleFrame) {
    MusicDeviceMIDIEventParams block{};
    block.inStatus = inStatus;
    block.inData1 = inData1;
    block.inData2 = inData2;
    block.inOffsetSampleFrame = inOffsetSampleFrame;
    return send(inUnit, kMusicDeviceMIDIEventSelect, block);
}

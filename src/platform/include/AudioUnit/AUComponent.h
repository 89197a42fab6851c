// AudioUnit types, selectors, errors and the calls a host makes on a unit.
// Each call packs its arguments into the parameter block below and sends it to
// the component's entry with the instance's storage; it returns the entry's
// status (badComponentInstance for a unit that is not open).
#pragma once

#include "../CoreAudio/CoreAudioTypes.h"
#include "AudioComponent.h"

CF_EXTERN_C_BEGIN

typedef AudioComponentInstance AudioUnit;

typedef UInt32 AudioUnitPropertyID;
typedef UInt32 AudioUnitScope;
typedef UInt32 AudioUnitElement;
typedef UInt32 AudioUnitParameterID;
typedef Float32 AudioUnitParameterValue;
typedef UInt32 AudioUnitRenderActionFlags;
typedef UInt32 AUParameterEventType;

// Component types and manufacturer.
enum {
    kAudioUnitType_Output = GRAVEL_FOUR_CC('a', 'u', 'o', 'u'),
    kAudioUnitType_MusicDevice = GRAVEL_FOUR_CC('a', 'u', 'm', 'u'),
    kAudioUnitType_MusicEffect = GRAVEL_FOUR_CC('a', 'u', 'm', 'f'),
    kAudioUnitType_FormatConverter = GRAVEL_FOUR_CC('a', 'u', 'f', 'c'),
    kAudioUnitType_Effect = GRAVEL_FOUR_CC('a', 'u', 'f', 'x'),
    kAudioUnitType_Mixer = GRAVEL_FOUR_CC('a', 'u', 'm', 'x'),
    kAudioUnitType_Panner = GRAVEL_FOUR_CC('a', 'u', 'p', 'n'),
    kAudioUnitType_Generator = GRAVEL_FOUR_CC('a', 'u', 'g', 'n'),
    kAudioUnitType_OfflineEffect = GRAVEL_FOUR_CC('a', 'u', 'o', 'l'),
    kAudioUnitManufacturer_Apple = GRAVEL_FOUR_CC('a', 'p', 'p', 'l')
};

// Scopes.
enum {
    kAudioUnitScope_Global = 0,
    kAudioUnitScope_Input = 1,
    kAudioUnitScope_Output = 2,
    kAudioUnitScope_Group = 3,
    kAudioUnitScope_Part = 4,
    kAudioUnitScope_Note = 5
};

// Render action flags.
enum {
    kAudioUnitRenderAction_PreRender = (1U << 2),
    kAudioUnitRenderAction_PostRender = (1U << 3),
    kAudioUnitRenderAction_OutputIsSilence = (1U << 4),
    kAudioOfflineUnitRenderAction_Preflight = (1U << 5),
    kAudioOfflineUnitRenderAction_Render = (1U << 6),
    kAudioOfflineUnitRenderAction_Complete = (1U << 7),
    kAudioUnitRenderAction_PostRenderError = (1U << 8),
    kAudioUnitRenderAction_DoNotCheckRenderArgs = (1U << 9)
};

// Errors.
enum {
    kAudioUnitErr_InvalidProperty = -10879,
    kAudioUnitErr_InvalidParameter = -10878,
    kAudioUnitErr_InvalidElement = -10877,
    kAudioUnitErr_NoConnection = -10876,
    kAudioUnitErr_FailedInitialization = -10875,
    kAudioUnitErr_TooManyFramesToProcess = -10874,
    kAudioUnitErr_InvalidFile = -10871,
    kAudioUnitErr_FormatNotSupported = -10868,
    kAudioUnitErr_Uninitialized = -10867,
    kAudioUnitErr_InvalidScope = -10866,
    kAudioUnitErr_PropertyNotWritable = -10865,
    kAudioUnitErr_CannotDoInCurrentContext = -10863,
    kAudioUnitErr_InvalidPropertyValue = -10851,
    kAudioUnitErr_PropertyNotInUse = -10850,
    kAudioUnitErr_Initialized = -10849,
    kAudioUnitErr_InvalidOfflineRender = -10848,
    kAudioUnitErr_Unauthorized = -10847
};

// Selectors of the AudioUnit requests.
enum {
    kAudioUnitRange = 0x0000,
    kAudioUnitInitializeSelect = 0x0001,
    kAudioUnitUninitializeSelect = 0x0002,
    kAudioUnitGetPropertyInfoSelect = 0x0003,
    kAudioUnitGetPropertySelect = 0x0004,
    kAudioUnitSetPropertySelect = 0x0005,
    kAudioUnitGetParameterSelect = 0x0006,
    kAudioUnitSetParameterSelect = 0x0007,
    kAudioUnitResetSelect = 0x0009,
    kAudioUnitAddPropertyListenerSelect = 0x000A,
    kAudioUnitRemovePropertyListenerSelect = 0x000B,
    kAudioUnitRenderSelect = 0x000E,
    kAudioUnitAddRenderNotifySelect = 0x000F,
    kAudioUnitRemoveRenderNotifySelect = 0x0010,
    kAudioUnitScheduleParametersSelect = 0x0011,
    kAudioUnitRemovePropertyListenerWithUserDataSelect = 0x0012,
    kAudioUnitComplexRenderSelect = 0x0013,
    kAudioUnitProcessSelect = 0x0014,
    kAudioUnitProcessMultipleSelect = 0x0015
};

typedef OSStatus (*AURenderCallback)(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags,
                                     const AudioTimeStamp* inTimeStamp, UInt32 inBusNumber,
                                     UInt32 inNumberFrames, AudioBufferList* ioData);

typedef void (*AudioUnitPropertyListenerProc)(void* inRefCon, AudioUnit inUnit, AudioUnitPropertyID inID,
                                              AudioUnitScope inScope, AudioUnitElement inElement);

// Parameter events of AudioUnitScheduleParameters.
enum {
    kParameterEvent_Immediate = 1,
    kParameterEvent_Ramped = 2
};

typedef struct AudioUnitParameterEvent {
    AudioUnitScope scope;
    AudioUnitElement element;
    AudioUnitParameterID parameter;
    AUParameterEventType eventType;
    union {
        struct {
            SInt32 startBufferOffset;
            UInt32 durationInFrames;
            AudioUnitParameterValue startValue;
            AudioUnitParameterValue endValue;
        } ramp;
        struct {
            UInt32 bufferOffset;
            AudioUnitParameterValue value;
        } immediate;
    } eventValues;
} AudioUnitParameterEvent;
GRAVEL_CHECK_SIZE(AudioUnitParameterEvent, 32);

typedef struct AudioUnitParameter {
    AudioUnit mAudioUnit;
    AudioUnitParameterID mParameterID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
} AudioUnitParameter;
GRAVEL_CHECK_SIZE(AudioUnitParameter, 24);

typedef struct AudioUnitProperty {
    AudioUnit mAudioUnit;
    AudioUnitPropertyID mPropertyID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
} AudioUnitProperty;
GRAVEL_CHECK_SIZE(AudioUnitProperty, 24);

// The calls. All return the entry's status.
CF_EXPORT OSStatus AudioUnitInitialize(AudioUnit inUnit);
CF_EXPORT OSStatus AudioUnitUninitialize(AudioUnit inUnit);
CF_EXPORT OSStatus AudioUnitGetPropertyInfo(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                                            AudioUnitElement inElement, UInt32* outDataSize, Boolean* outWritable);
CF_EXPORT OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                                        AudioUnitElement inElement, void* outData, UInt32* ioDataSize);
CF_EXPORT OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                                        AudioUnitElement inElement, const void* inData, UInt32 inDataSize);
CF_EXPORT OSStatus AudioUnitAddPropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID,
                                                AudioUnitPropertyListenerProc inProc, void* inProcUserData);
CF_EXPORT OSStatus AudioUnitRemovePropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID,
                                                   AudioUnitPropertyListenerProc inProc);
CF_EXPORT OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit inUnit, AudioUnitPropertyID inID,
                                                               AudioUnitPropertyListenerProc inProc,
                                                               void* inProcUserData);
CF_EXPORT OSStatus AudioUnitAddRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void* inProcUserData);
CF_EXPORT OSStatus AudioUnitRemoveRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void* inProcUserData);
CF_EXPORT OSStatus AudioUnitGetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, AudioUnitParameterValue* outValue);
CF_EXPORT OSStatus AudioUnitSetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, AudioUnitParameterValue inValue,
                                         UInt32 inBufferOffsetInFrames);
CF_EXPORT OSStatus AudioUnitScheduleParameters(AudioUnit inUnit, const AudioUnitParameterEvent* inParameterEvent,
                                               UInt32 inNumParamEvents);
// Takes no lock and allocates nothing: safe on the audio thread.
CF_EXPORT OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                                   const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                                   UInt32 inNumberFrames, AudioBufferList* ioData);
CF_EXPORT OSStatus AudioUnitReset(AudioUnit inUnit, AudioUnitScope inScope, AudioUnitElement inElement);

// ---------------------------------------------------------------------------
// The parameter blocks (this platform's own layout: only the call glue and
// the component entry see them). Each block begins with the header of
// ComponentParameters: flags (0), paramSize (bytes after the header), what
// (the selector), padding. The arguments follow in the order of the call,
// without the unit, at their natural alignment. An entry switches on
// params->what and reads the block of that selector:
//
//   case kAudioUnitGetPropertySelect: {
//       const AudioUnitGetPropertyParams* p = (const AudioUnitGetPropertyParams*)params;
//       ... p->inID, p->inScope, p->inElement, p->outData, p->ioDataSize ...
//   }
//
// Initialize and Uninitialize send the header alone (AudioUnitNoArgumentsParams).
#define GRAVEL_PARAMETER_BLOCK_HEADER \
    UInt8 flags;                      \
    UInt8 paramSize;                  \
    SInt16 what;                      \
    UInt32 padding;

typedef struct AudioUnitNoArgumentsParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
} AudioUnitNoArgumentsParams;

typedef struct AudioUnitGetPropertyInfoParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
    AudioUnitPropertyID inID;
    AudioUnitScope inScope;
    AudioUnitElement inElement;
    UInt32* outDataSize;   // may be null
    Boolean* outWritable;  // may be null
} AudioUnitGetPropertyInfoParams;

typedef struct AudioUnitGetPropertyParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
    AudioUnitPropertyID inID;
    AudioUnitScope inScope;
    AudioUnitElement inElement;
    void* outData;
    UInt32* ioDataSize;
} AudioUnitGetPropertyParams;

typedef struct AudioUnitSetPropertyParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
    AudioUnitPropertyID inID;
    AudioUnitScope inScope;
    AudioUnitElement inElement;
    const void* inData;
    UInt32 inDataSize;
} AudioUnitSetPropertyParams;

typedef struct AudioUnitGetParameterParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
    AudioUnitParameterID inID;
    AudioUnitScope inScope;
    AudioUnitElement inElement;
    AudioUnitParameterValue* outValue;
} AudioUnitGetParameterParams;

typedef struct AudioUnitSetParameterParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
    AudioUnitParameterID inID;
    AudioUnitScope inScope;
    AudioUnitElement inElement;
    AudioUnitParameterValue inValue;
    UInt32 inBufferOffsetInFrames;
} AudioUnitSetParameterParams;

typedef struct AudioUnitResetParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
    AudioUnitScope inScope;
    AudioUnitElement inElement;
} AudioUnitResetParams;

// Add (selector 10), remove (11: inProcUserData is null) and remove with user
// data (18) share one block.
typedef struct AudioUnitPropertyListenerParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
    AudioUnitPropertyID inID;
    AudioUnitPropertyListenerProc inProc;
    void* inProcUserData;
} AudioUnitPropertyListenerParams;

typedef struct AudioUnitRenderParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
    AudioUnitRenderActionFlags* ioActionFlags;
    const AudioTimeStamp* inTimeStamp;
    UInt32 inOutputBusNumber;
    UInt32 inNumberFrames;
    AudioBufferList* ioData;
} AudioUnitRenderParams;

// Add (15) and remove (16) share one block.
typedef struct AudioUnitRenderNotifyParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
    AURenderCallback inProc;
    void* inProcUserData;
} AudioUnitRenderNotifyParams;

typedef struct AudioUnitScheduleParametersParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
    const AudioUnitParameterEvent* inParameterEvent;
    UInt32 inNumParamEvents;
} AudioUnitScheduleParametersParams;

GRAVEL_CHECK_SIZE(AudioUnitNoArgumentsParams, 8);
GRAVEL_CHECK_SIZE(AudioUnitGetPropertyInfoParams, 40);
GRAVEL_CHECK_SIZE(AudioUnitGetPropertyParams, 40);
GRAVEL_CHECK_SIZE(AudioUnitSetPropertyParams, 40);
GRAVEL_CHECK_SIZE(AudioUnitGetParameterParams, 32);
GRAVEL_CHECK_SIZE(AudioUnitSetParameterParams, 28);
GRAVEL_CHECK_SIZE(AudioUnitResetParams, 16);
GRAVEL_CHECK_SIZE(AudioUnitPropertyListenerParams, 32);
GRAVEL_CHECK_SIZE(AudioUnitRenderParams, 40);
GRAVEL_CHECK_SIZE(AudioUnitRenderNotifyParams, 24);
GRAVEL_CHECK_SIZE(AudioUnitScheduleParametersParams, 24);

// The component selectors' blocks: ComponentParameters with params[0] as
// described in CoreServices.h, also readable as these.
typedef struct ComponentInstanceParams {  // open (-1), close (-2)
    GRAVEL_PARAMETER_BLOCK_HEADER
    ComponentInstance instance;
} ComponentInstanceParams;

typedef struct ComponentCanDoParams {  // can-do (-3)
    GRAVEL_PARAMETER_BLOCK_HEADER
    long selector;
} ComponentCanDoParams;

GRAVEL_CHECK_SIZE(ComponentInstanceParams, 16);
GRAVEL_CHECK_SIZE(ComponentCanDoParams, 16);

CF_EXTERN_C_END

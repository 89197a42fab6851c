// AudioComponent calls over the component registry. A component is declared
// by its bundle's Contents/Info.plist under "AudioComponents" (an array of
// dictionaries: "type", "subtype", "manufacturer" as four-character strings,
// "name", "version" as an integer, "factoryFunction" naming the exported
// component entry, "description"). The registry reads, once per process, the
// bundles one level inside the folders of AU_PATH (colon-separated; default
// ~/.au:/usr/local/lib/au:/usr/lib/au), and takes bundles a host registers by
// path (Gravel/AudioComponentRegistration.h). An AudioComponent and a
// Component (CoreServices.h) for the same registration are the same pointer;
// so are an AudioComponentInstance, a ComponentInstance and an AudioUnit.
#pragma once

#include "../CoreServices/CoreServices.h"
#include "../Gravel/AudioComponentRegistration.h"

CF_EXTERN_C_BEGIN

typedef struct AudioComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
} AudioComponentDescription;
GRAVEL_CHECK_SIZE(AudioComponentDescription, 20);

typedef struct OpaqueAudioComponent* AudioComponent;
typedef struct ComponentInstanceRecord* AudioComponentInstance;

// Zero fields of inDesc match anything; null inComponent starts the search.
CF_EXPORT AudioComponent AudioComponentFindNext(AudioComponent inComponent, const AudioComponentDescription* inDesc);
CF_EXPORT UInt32 AudioComponentCount(const AudioComponentDescription* inDesc);
// +1 string for the caller.
CF_EXPORT OSStatus AudioComponentCopyName(AudioComponent inComponent, CFStringRef* outName);
CF_EXPORT OSStatus AudioComponentGetDescription(AudioComponent inComponent, AudioComponentDescription* outDesc);
// The "version" of the declaration.
CF_EXPORT OSStatus AudioComponentGetVersion(AudioComponent inComponent, UInt32* outVersion);
CF_EXPORT OSStatus AudioComponentInstanceNew(AudioComponent inComponent, AudioComponentInstance* outInstance);
CF_EXPORT OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance);
CF_EXPORT AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance inInstance);
CF_EXPORT Boolean AudioComponentInstanceCanDo(AudioComponentInstance inInstance, SInt16 inSelectorID);

CF_EXTERN_C_END

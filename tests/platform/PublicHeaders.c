/* The public headers compile as C, as a host written in C includes them. */
#include <AudioToolbox/AudioToolbox.h>
#include <Carbon/Carbon.h>
#include <CoreServices/CoreServices.h>

/* Linked into the tests so that the C compiler sees every declaration. */
size_t publicHeadersEventSize(void);
size_t publicHeadersEventSize(void) { return sizeof(AudioUnitEvent); }

/* The listener calls carry Apple's signatures exactly, so a host that takes
   their addresses (or declares them itself) builds unchanged. */
_Static_assert(__builtin_types_compatible_p(__typeof__(&AudioUnitAddPropertyListener),
                                            OSStatus (*)(AudioUnit, AudioUnitPropertyID,
                                                         AudioUnitPropertyListenerProc, void*)),
               "AudioUnitAddPropertyListener");
_Static_assert(__builtin_types_compatible_p(__typeof__(&AudioUnitRemovePropertyListener),
                                            OSStatus (*)(AudioUnit, AudioUnitPropertyID,
                                                         AudioUnitPropertyListenerProc)),
               "AudioUnitRemovePropertyListener");
_Static_assert(__builtin_types_compatible_p(__typeof__(&AudioUnitRemovePropertyListenerWithUserData),
                                            OSStatus (*)(AudioUnit, AudioUnitPropertyID,
                                                         AudioUnitPropertyListenerProc, void*)),
               "AudioUnitRemovePropertyListenerWithUserData");
_Static_assert(__builtin_types_compatible_p(AudioUnitPropertyListenerProc,
                                            void (*)(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope,
                                                     AudioUnitElement)),
               "AudioUnitPropertyListenerProc");

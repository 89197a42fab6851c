/* The public headers compile as C, as a host written in C includes them. */
#include <AudioToolbox/AudioToolbox.h>
#include <Carbon/Carbon.h>
#include <CoreServices/CoreServices.h>

/* Linked into the tests so that the C compiler sees every declaration. */
size_t publicHeadersEventSize(void);
size_t publicHeadersEventSize(void) { return sizeof(AudioUnitEvent); }

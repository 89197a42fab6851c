// A tiny AudioUnit host that the host-identification tests copy into fake
// application bundles (Logic, GarageBand, ...): the component identifies its
// host from this program's bundle.
//
//   tandem_host_probe COMPONENT SUBTYPE FAKE_EFFECT identify
//   tandem_host_probe COMPONENT SUBTYPE FAKE_EFFECT mono-as-stereo
//   tandem_host_probe COMPONENT SUBTYPE FAKE_EFFECT exit-open    (exits with the unit open)
//
// Prints "thread <id>" first (the component's log lines carry it), then the
// outcome on standard output; the component's log goes to standard error.

#include "FakeBusEffect.h"
#include "TandemTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    std::printf("thread %p\n", reinterpret_cast<void*>(pthread_self()));
    std::fflush(stdout);

    void* effect = dlopen(argv[3], RTLD_NOW | RTLD_LOCAL);
    if (!effect)
        return 3;
    FakeBusState& fake = *static_cast<FakeBusState*>(dlsym(effect, "fakeBusState"));
    const bool monoAsStereo = std::strcmp(argv[4], "mono-as-stereo") == 0;
    if (monoAsStereo) {
        fake.numInputs = fake.numOutputs = 1;
        fake.stereoInputPins = fake.stereoOutputPins = 0;
    }

    OpenedUnit opened(argv[1], argv[2]);
    if (opened.status != noErr) {
        std::printf("open failed: %d\n", int(opened.status));
        return 1;
    }
    if (std::strcmp(argv[4], "exit-open") == 0)
        std::exit(0); // as a host quitting without closing its units: no destructor of ours runs
    if (!monoAsStereo)
        return 0;

    // The host sets stereo on the effect's mono buses, as GarageBand 4.1 and
    // Logic 8.0 did.
    AudioUnit unit = opened.unit;
    const AudioStreamBasicDescription stereo = floatFormat(44100, 2);
    if (AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &stereo, sizeof stereo) !=
            noErr ||
        AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &stereo,
                             sizeof stereo) != noErr) {
        std::printf("mono-as-stereo: refused\n");
        return 0;
    }
    RampSource source;
    AURenderCallbackStruct callback = source.callback();
    AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                         sizeof callback);
    AudioUnitInitialize(unit);
    BufferList out(2, 256);
    AudioTimeStamp stamp = sampleTime(0);
    if (AudioUnitRender(unit, nullptr, &stamp, 0, 256, out.get()) != noErr) {
        std::printf("mono-as-stereo: render failed\n");
        return 1;
    }
    // The effect's one pin hears the first channel; both host channels get its output.
    for (int i = 0; i < 256; ++i)
        if (out.channel(0)[i] != RampSource::value(0, i) || out.channel(1)[i] != out.channel(0)[i]) {
            std::printf("mono-as-stereo: wrong sample %d: %g %g\n", i, out.channel(0)[i], out.channel(1)[i]);
            return 1;
        }
    std::printf("mono-as-stereo: mono duplicated\n");
    return 0;
}

// The built Gravel.vst two ways in one run: through its VST entry (VSTPlugIn,
// processReplacing into separate output buffers, as `gravel render` drives
// it) and through its AudioUnit (AudioUnitRender pulling the input from a
// render callback, as `gravel render --au` drives it). Stereo, 512-frame
// slices at 44100 Hz, the settings of plugin_bench; rt_factor is seconds of
// stereo audio per second of CPU. The wrapper's cost is the difference.
#include <benchmark/benchmark.h>

#include <AudioUnit/AudioUnit.h>

#include "TestSignals.h"
#include "hosting/TandemLog.h"
#include "hosting/SilentVSTHost.h"
#include "hosting/VSTPlugIn.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr double hostRate = 44100.0;
constexpr int blockSize = 512;
enum { kInputLevel = 0, kDrive = 1, kPluginMode = 8, kOversampling = 10 };

struct Signal {
    Signal()
    {
        const std::vector<double> guitar = testsignals::guitar(hostRate, 2.0);
        for (double x : guitar) {
            left.push_back(static_cast<float>(x));
            right.push_back(static_cast<float>(0.9 * x));
        }
    }
    std::vector<float> left, right;
};

const Signal& signal()
{
    static const Signal s;
    return s;
}

float oversamplingValue(int64_t factor) { return factor == 2 ? 0.0f : (factor == 4 ? 0.5f : 1.0f); }

void quiet(const char*, void*) {}

void BM_GravelThroughVSTEntry(benchmark::State& state)
{
    setTandemLogSink(quiet, nullptr); // for the rest of the run
    SilentVSTHost host;
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(GRAVEL_BUNDLE_DIR),
                                                           CFIndex(std::strlen(GRAVEL_BUNDLE_DIR)), true);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    VSTPlugIn effect(host, bundle, float(hostRate), blockSize);
    CFRelease(bundle);
    effect.open();
    effect.setSampleRate(float(hostRate));
    effect.setBlockSize(blockSize);
    effect.setParameter(kPluginMode, 1.0f);
    effect.setParameter(kInputLevel, 1.0f);
    effect.setParameter(kDrive, 0.75f);
    effect.setParameter(kOversampling, oversamplingValue(state.range(0)));
    effect.resume();

    const Signal& s = signal();
    std::vector<float> inL(blockSize), inR(blockSize), outL(blockSize), outR(blockSize);
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    size_t offset = 0;
    for (auto _ : state) {
        if (offset + blockSize > s.left.size())
            offset = 0;
        // The tool copies each block out of the file's frames, as the callback does below.
        std::memcpy(inL.data(), s.left.data() + offset, blockSize * sizeof(float));
        std::memcpy(inR.data(), s.right.data() + offset, blockSize * sizeof(float));
        effect.processReplacing(ins, outs, blockSize);
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        offset += blockSize;
    }
    effect.suspend();
    state.counters["rt_factor"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * blockSize / hostRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GravelThroughVSTEntry)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);

struct Feed {
    size_t offset = 0;
    static OSStatus render(void* reference, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                           AudioBufferList* ioData)
    {
        const Feed& feed = *static_cast<const Feed*>(reference);
        const Signal& s = signal();
        std::memcpy(ioData->mBuffers[0].mData, s.left.data() + feed.offset, frames * sizeof(float));
        std::memcpy(ioData->mBuffers[1].mData, s.right.data() + feed.offset, frames * sizeof(float));
        return noErr;
    }
};

// The component writes its log on the standard error stream; the benchmark
// report should not drown in it.
class SilencedStderr {
public:
    SilencedStderr()
    {
        std::fflush(stderr);
        saved = dup(2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(null);
    }
    ~SilencedStderr()
    {
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
    }

private:
    int saved;
};

// The VST path's normalised value, as the AudioUnit value its parameter
// mapping turns back into it.
void setNormalised(AudioUnit unit, AudioUnitParameterID id, float normalised)
{
    AudioUnitParameterInfo info = {};
    UInt32 size = sizeof info;
    AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &info, &size);
    AudioUnitSetParameter(unit, id, kAudioUnitScope_Global, 0,
                          info.minValue + (info.maxValue - info.minValue) * normalised, 0);
}

void BM_GravelThroughAudioUnit(benchmark::State& state)
{
    SilencedStderr silenced;
    GravelRegisterComponentBundle(GRAVEL_BUNDLE_DIR);
    AudioComponentDescription gravel = {kAudioUnitType_Effect, GRAVEL_FOUR_CC('G', 'r', 'v', 'l'),
                                        GRAVEL_FOUR_CC('B', 'k', 'f', 'd'), 0, 0};
    AudioComponentInstance unit = nullptr;
    AudioComponent component = AudioComponentFindNext(nullptr, &gravel);
    if (!component || AudioComponentInstanceNew(component, &unit) != noErr) {
        state.SkipWithError("cannot open Gravel's AudioUnit");
        return;
    }
    UInt32 frames = blockSize;
    AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames,
                         sizeof frames);
    Feed feed;
    AURenderCallbackStruct callback = {&Feed::render, &feed};
    AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                         sizeof callback);
    setNormalised(unit, kPluginMode, 1.0f);
    setNormalised(unit, kInputLevel, 1.0f);
    setNormalised(unit, kDrive, 0.75f);
    setNormalised(unit, kOversampling, oversamplingValue(state.range(0)));
    AudioUnitInitialize(unit);

    const Signal& s = signal();
    std::vector<float> outL(blockSize), outR(blockSize);
    struct {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[2];
    } out = {2, {{1, blockSize * 4, outL.data()}, {1, blockSize * 4, outR.data()}}};
    AudioTimeStamp stamp;
    std::memset(&stamp, 0, sizeof stamp);
    stamp.mFlags = kAudioTimeStampSampleTimeValid;
    for (auto _ : state) {
        if (feed.offset + blockSize > s.left.size())
            feed.offset = 0;
        AudioUnitRender(unit, nullptr, &stamp, 0, blockSize, reinterpret_cast<AudioBufferList*>(&out));
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        feed.offset += blockSize;
        stamp.mSampleTime += blockSize;
    }
    AudioUnitUninitialize(unit);
    AudioComponentInstanceDispose(unit);
    state.counters["rt_factor"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * blockSize / hostRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GravelThroughAudioUnit)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

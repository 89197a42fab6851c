// The built bundle as a VST 2.4 host sees it: dlopen Gravel.so, call
// VSTPluginMain with our callback and drive everything through the AEffect
// record. Nothing of the effect is linked into this binary.

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AllocationCounter.h"
#include "HostRecorder.h"
#include "plugin/AudioEffect.h"

namespace {

typedef AEffect* (*PluginMain)(audioMasterCallback);

// Indices as the host sees them.
enum { kInputLevel, kDrive, kTone, kLevel, kAsym, kFat, kInBuffer, kOutBuffer, kPluginMode,
       kBypass, kOversampling };

class Bundle {
public:
    Bundle() : handle(dlopen(GRAVEL_BUNDLE_PATH, RTLD_NOW | RTLD_LOCAL))
    {
        if (handle)
            main = reinterpret_cast<PluginMain>(dlsym(handle, "VSTPluginMain"));
    }
    ~Bundle()
    {
        if (handle)
            dlclose(handle);
    }
    void* handle;
    PluginMain main = nullptr;
};

VstIntPtr call(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
               void* ptr = nullptr, float opt = 0.0f)
{
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

std::string text(AEffect* e, VstInt32 opcode, VstInt32 index = 0)
{
    char buffer[256];
    std::memset(buffer, 0, sizeof(buffer));
    call(e, opcode, index, 0, buffer);
    return buffer;
}

class BundleTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(bundle.handle, nullptr) << dlerror();
        ASSERT_NE(bundle.main, nullptr);
        effect = open();
        ASSERT_NE(effect, nullptr);
    }
    void TearDown() override
    {
        for (AEffect* e : opened)
            EXPECT_EQ(call(e, effClose), 1);
    }

    // Opens an effect the way hosts do: rate, block size, open, resume.
    AEffect* open(float rate = 44100.0f, VstInt32 blockSize = 512)
    {
        AEffect* e = bundle.main(HostRecorder::callback);
        if (!e)
            return nullptr;
        opened.push_back(e);
        call(e, effSetSampleRate, 0, 0, nullptr, rate);
        call(e, effSetBlockSize, 0, blockSize);
        call(e, effOpen);
        call(e, effMainsChanged, 0, 1);
        return e;
    }

    HostRecorder host;
    Bundle bundle;
    AEffect* effect = nullptr;
    std::vector<AEffect*> opened;
};

std::vector<float> guitar(size_t frames, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.02f, 0.02f);
    std::vector<float> x(frames);
    for (size_t i = 0; i < frames; ++i)
        x[i] = 0.4f * std::sin(0.0279f * i) * std::exp(-1e-4f * i) + noise(rng);
    return x;
}

struct Block {
    std::vector<float> left, right;
};

Block run(AEffect* e, std::vector<float> l, std::vector<float> r)
{
    Block out{std::vector<float>(l.size(), -7.0f), std::vector<float>(l.size(), -7.0f)};
    float* ins[2] = {l.data(), r.data()};
    float* outs[2] = {out.left.data(), out.right.data()};
    e->processReplacing(e, ins, outs, static_cast<VstInt32>(l.size()));
    return out;
}

// What the editor does when a control moves. The effect's class lives in the
// bundle, so the sanitizer's type check (which wants its type information
// here) is off for this one call.
__attribute__((no_sanitize("vptr"))) void automate(AEffect* e, VstInt32 index, float value)
{
    static_cast<AudioEffect*>(e->object)->setParameterAutomated(index, value);
}

int countEntries(const char* dir)
{
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

} // namespace

// ---- what the bundle is ----

TEST(BundleFiles, LayoutAndExports)
{
    const std::string contents = std::string(GRAVEL_BUNDLE_DIR) + "/Contents";
    EXPECT_EQ(access((contents + "/Info.plist").c_str(), R_OK), 0);
    struct stat resources;
    EXPECT_EQ(stat((contents + "/Resources").c_str(), &resources), 0);
    EXPECT_TRUE(S_ISDIR(resources.st_mode));

    const std::string command = std::string(GRAVEL_NM) + " -D --defined-only " GRAVEL_BUNDLE_PATH;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[1024];
    while (std::fgets(line, sizeof(line), pipe)) {
        char address[64], type[8], name[900];
        if (std::sscanf(line, "%63s %7s %899s", address, type, name) == 3)
            exported.insert(name);
    }
    EXPECT_EQ(pclose(pipe), 0);
    const std::set<std::string> expected = {"VSTPluginMain", "TandemEntry", "Tandem20010220_CocoaViewFactory",
                                            "addTrack", "removeTrack", "dumpLeaks", "resetLeaksTracing",
                                            "allocList"};
    EXPECT_EQ(exported, expected);
}

// ---- loading ----

TEST(BundleLoading, HostWithoutVersionGetsNothing)
{
    Bundle bundle;
    ASSERT_NE(bundle.main, nullptr);
    HostRecorder host;
    host.answer = [](const HostCall&) -> VstIntPtr { return 0; };
    host.calls.reserve(4); // the recorder's own bookkeeping is not the effect's
    allocation_counter::Scope scope;
    EXPECT_EQ(bundle.main(HostRecorder::callback), nullptr);
    EXPECT_EQ(scope.allocations(), 0); // no effect was made
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(host.calls[0].effect, nullptr);
}

TEST(BundleLoading, TenLoadCloseUnloadCycles)
{
    HostRecorder host;
    for (int cycle = 0; cycle < 10; ++cycle) {
        Bundle bundle;
        ASSERT_NE(bundle.main, nullptr);
        AEffect* e = bundle.main(HostRecorder::callback);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->magic, kEffectMagic);
        std::vector<float> x = guitar(64, cycle);
        run(e, x, x);
        EXPECT_EQ(call(e, effClose), 1);
    }
}

// Scanning a plug-in folder must be cheap and silent: no thread, no
// connection to a display, no other file or socket left open.
TEST(BundleLoading, ScanningStartsNoThreadAndOpensNothing)
{
    const char* display = std::getenv("DISPLAY");
    const std::string savedDisplay = display ? display : "";
    setenv("DISPLAY", ":97", 1); // a display that does not exist: touching it would fail or hang
    const int threads = countEntries("/proc/self/task");
    const int files = countEntries("/proc/self/fd");
    {
        HostRecorder host;
        Bundle bundle;
        ASSERT_NE(bundle.main, nullptr);
        AEffect* e = bundle.main(HostRecorder::callback);
        ASSERT_NE(e, nullptr);
        for (VstInt32 i = 0; i < e->numParams; ++i) {
            text(e, effGetParamName, i);
            text(e, effGetParamDisplay, i);
        }
        text(e, effGetEffectName);
        text(e, effGetVendorString);
        EXPECT_EQ(countEntries("/proc/self/task"), threads);
        EXPECT_EQ(countEntries("/proc/self/fd"), files);
        call(e, effClose);
    }
    if (display)
        setenv("DISPLAY", savedDisplay.c_str(), 1);
    else
        unsetenv("DISPLAY");
}

// ---- identity, parameters, program ----

TEST_F(BundleTest, Identity)
{
    EXPECT_EQ(effect->magic, 0x56737450);
    EXPECT_EQ(effect->uniqueID, vstFourCC('G', 'R', 'V', '7'));
    EXPECT_EQ(effect->numParams, 11);
    EXPECT_EQ(effect->numPrograms, 1);
    EXPECT_EQ(effect->numInputs, 2);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->flags & (effFlagsCanReplacing | effFlagsCanDoubleReplacing), 0x1010);
    EXPECT_EQ(effect->version, 1);
    EXPECT_EQ(text(effect, effGetEffectName), "Gravel v1.5.2");
    EXPECT_EQ(text(effect, effGetVendorString), "Brackenfold");
    EXPECT_EQ(text(effect, effGetProductString), "Gravel Rumbledrift Overdrive v1.5.2");
    EXPECT_EQ(call(effect, effGetVendorVersion), 1520);
}

TEST_F(BundleTest, FreshParameters)
{
    const char* names[] = {"Input Level", "Drive",       "Tone",   "Level",       "Asym.", "Fat",
                           "In Buffer",   "Out Buffer",  "Plugin Mode", "Bypass", "Oversampling"};
    const char* labels[] = {"x", "", "", "", "", "", "", "", "", "", "x"};
    const char* displays[] = {"1.00", "0.00", "5.00", "5.00", "Off", "Off",
                              "On",   "On",   "Mono", "Off",  "2"};
    const float values[] = {0.5f, 0.0f, 0.5f, 0.5f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f};
    for (VstInt32 i = 0; i < 11; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(text(effect, effGetParamName, i), names[i]);
        EXPECT_EQ(text(effect, effGetParamLabel, i), labels[i]);
        EXPECT_EQ(text(effect, effGetParamDisplay, i), displays[i]);
        EXPECT_EQ(effect->getParameter(effect, i), values[i]);
    }
    EXPECT_EQ(effect->getParameter(effect, 11), 0.0f);
}

TEST_F(BundleTest, DispatcherResults)
{
    EXPECT_EQ(call(effect, effIdentify), 0x4E764566);
    EXPECT_EQ(call(effect, effGetVstVersion), 2400);
    EXPECT_EQ(call(effect, effGetCurrentMidiProgram), -1);
    EXPECT_EQ(call(effect, effSetTotalSampleToProcess, 0, 12345), 12345);
    EXPECT_EQ(call(effect, effGetProgram), 0);
    call(effect, effSetProgram, 0, 1);
    EXPECT_EQ(call(effect, effGetProgram), 0);
    EXPECT_EQ(text(effect, effGetProgramName), "Init 1");
    // A bundle built without the editor answers 0 to every editor opcode.
    if (!(effect->flags & effFlagsHasEditor)) {
        ERect* rect = nullptr;
        EXPECT_EQ(call(effect, effEditGetRect, 0, 0, &rect), 0);
        EXPECT_EQ(rect, nullptr);
        EXPECT_EQ(call(effect, effEditOpen, 0, 0, &rect), 0);
        EXPECT_EQ(call(effect, effEditIdle), 0);
    }
    // Null texts are refused without writing.
    for (VstInt32 opcode : {effGetParamName, effGetParamDisplay, effGetProgramName,
                            effSetProgramName, effGetVendorString, effGetProductString,
                            effGetEffectName})
        EXPECT_EQ(call(effect, opcode, 0, 0, nullptr), 0);
}

TEST_F(BundleTest, ProgramNameRoundTrips)
{
    char crunch[] = "Crunch";
    call(effect, effSetProgramName, 0, 0, crunch);
    EXPECT_EQ(text(effect, effGetProgramName), "Crunch");
    char init[] = "Init";
    call(effect, effSetProgramName, 0, 0, init);
    EXPECT_EQ(text(effect, effGetProgramName), "Init 1");
}

TEST_F(BundleTest, AutomationReachesTheHost)
{
    host.calls.clear();
    automate(effect, kTone, 0.25f);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(host.calls[0].index, kTone);
    EXPECT_EQ(host.calls[0].opt, 0.25f);
    EXPECT_EQ(host.calls[0].effect, effect);
    EXPECT_EQ(effect->getParameter(effect, kTone), 0.25f);
    EXPECT_EQ(text(effect, effGetParamDisplay, kTone), "2.50");
}

TEST_F(BundleTest, TwoInstancesAreIsolated)
{
    AEffect* other = open();
    ASSERT_NE(other, nullptr);
    ASSERT_NE(other, effect);
    for (VstInt32 i = 0; i < 11; ++i)
        effect->setParameter(effect, i, i == kBypass ? 0.0f : 0.9f);
    const float fresh[] = {0.5f, 0.0f, 0.5f, 0.5f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f};
    for (VstInt32 i = 0; i < 11; ++i)
        EXPECT_EQ(other->getParameter(other, i), fresh[i]) << i;

    // Processing one leaves the other's state alone: equal settings, equal output.
    AEffect* third = open();
    const std::vector<float> x = guitar(2048, 1);
    run(effect, x, x);
    EXPECT_EQ(run(other, x, x).left, run(third, x, x).left);
}

// ---- audio ----

TEST_F(BundleTest, BypassMonoStereo)
{
    const std::vector<float> l = guitar(1024, 1), r = guitar(1024, 2);
    effect->setParameter(effect, kDrive, 0.7f);
    effect->setParameter(effect, kBypass, 1.0f);
    Block bypassed = run(effect, l, r);
    EXPECT_EQ(bypassed.left, l);
    EXPECT_EQ(bypassed.right, r);

    effect->setParameter(effect, kBypass, 0.0f);
    Block mono = run(effect, l, r);
    EXPECT_EQ(mono.left, mono.right);
    EXPECT_NE(mono.left, l);

    effect->setParameter(effect, kPluginMode, 1.0f);
    Block stereo = run(effect, l, r);
    EXPECT_NE(stereo.left, stereo.right);
}

TEST_F(BundleTest, FloatAndDoubleAgreeToFloatPrecision)
{
    AEffect* twin = open();
    for (AEffect* e : {effect, twin}) {
        e->setParameter(e, kPluginMode, 1.0f);
        e->setParameter(e, kDrive, 0.9f);
        e->setParameter(e, kOversampling, 0.5f);
    }
    const std::vector<float> l = guitar(4096, 3), r = guitar(4096, 4);
    const Block f = run(effect, l, r);
    std::vector<double> dl(l.begin(), l.end()), dr(r.begin(), r.end()), ol(4096), orr(4096);
    double* ins[2] = {dl.data(), dr.data()};
    double* outs[2] = {ol.data(), orr.data()};
    twin->processDoubleReplacing(twin, ins, outs, 4096);
    for (size_t i = 0; i < l.size(); ++i) {
        ASSERT_EQ(f.left[i], static_cast<float>(ol[i])) << i;
        ASSERT_EQ(f.right[i], static_cast<float>(orr[i])) << i;
    }
}

TEST_F(BundleTest, NaNAtTheEndOfABlockIsSilence)
{
    effect->setParameter(effect, kPluginMode, 1.0f);
    std::vector<float> poisoned = guitar(512, 5);
    poisoned.back() = NAN;
    const Block bad = run(effect, poisoned, poisoned);
    EXPECT_TRUE(std::isfinite(bad.left.back()));
    EXPECT_TRUE(std::isfinite(bad.right.back()));
    const Block good = run(effect, guitar(512, 6), guitar(512, 7));
    for (size_t i = 0; i < 512; ++i)
        ASSERT_TRUE(std::isfinite(good.left[i]) && std::isfinite(good.right[i])) << i;
}

// What plug-in validators check: common rates, block sizes from 1 to 4096
// (odd ones too), every factor and hot settings give finite, normal output.
TEST_F(BundleTest, RatesAndBlockSizesGiveCleanOutput)
{
    for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
        AEffect* e = open(rate, 4096);
        e->setParameter(e, kPluginMode, 1.0f);
        e->setParameter(e, kInputLevel, 1.0f);
        e->setParameter(e, kDrive, 1.0f);
        e->setParameter(e, kFat, 1.0f);
        unsigned seed = 1;
        for (float factor : {0.0f, 0.5f, 1.0f}) {
            e->setParameter(e, kOversampling, factor);
            for (VstInt32 frames : {1, 2, 3, 17, 64, 511, 1000, 4096}) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, factor " << factor << ", "
                                                << frames << " frames");
                std::vector<float> x = guitar(static_cast<size_t>(frames), seed++);
                x[0] = 0.0f;
                const Block out = run(e, x, x);
                for (VstInt32 i = 0; i < frames; ++i) {
                    for (float y : {out.left[i], out.right[i]}) {
                        const int kind = std::fpclassify(y);
                        ASSERT_TRUE(kind == FP_NORMAL || kind == FP_ZERO) << i << ": " << y;
                    }
                }
            }
        }
    }
}

TEST_F(BundleTest, AudioPathAllocatesNothing)
{
    std::vector<float> l = guitar(512, 1), r = guitar(512, 2), outL(512), outR(512);
    std::vector<double> dl(l.begin(), l.end()), dr(r.begin(), r.end()), dOutL(512), dOutR(512);
    float* ins[2] = {l.data(), r.data()};
    float* outs[2] = {outL.data(), outR.data()};
    double* dIns[2] = {dl.data(), dr.data()};
    double* dOuts[2] = {dOutL.data(), dOutR.data()};

    allocation_counter::Scope scope;
    for (int round = 0; round < 9; ++round) {
        effect->setParameter(effect, kOversampling, (round % 3) / 2.0f);
        effect->setParameter(effect, kPluginMode, round % 2 ? 1.0f : 0.0f);
        effect->setParameter(effect, kBypass, round == 4 ? 1.0f : 0.0f);
        effect->setParameter(effect, kDrive, round / 8.0f);
        effect->setParameter(effect, kTone, 1.0f - round / 8.0f);
        effect->processReplacing(effect, ins, outs, 512);
        effect->processDoubleReplacing(effect, dIns, dOuts, 512);
    }
    EXPECT_EQ(scope.allocations(), 0);
}

// The overdrive effect: parameters, program, identity, the hand-over of
// changes to the audio thread, and the process entry points.

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <xmmintrin.h>

#include "AllocationCounter.h"
#include "HostRecorder.h"
#include "plugin/VST_GRV.h"

namespace {

std::string display(VST_GRV& effect, VstInt32 index)
{
    char text[64] = {};
    effect.getParameterDisplay(index, text);
    return text;
}

std::string name(VST_GRV& effect, VstInt32 index)
{
    char text[64] = {};
    effect.getParameterName(index, text);
    return text;
}

std::string label(VST_GRV& effect, VstInt32 index)
{
    char text[64] = "?";
    effect.getParameterLabel(index, text);
    return text;
}

std::string programName(VST_GRV& effect)
{
    char text[64] = {};
    effect.getProgramName(text);
    return text;
}

// A guitar-like test signal: a decaying 196 Hz note with a little noise, in
// the range a host hands an overdrive.
std::vector<float> signal(int frames, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.01f, 0.01f);
    std::vector<float> x(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        x[i] = 0.3f * std::exp(-i / 20000.0f) * std::sin(2.0f * 3.14159265f * 196.0f * i / 44100.0f) +
               noise(rng);
    return x;
}

struct Stereo {
    std::vector<float> left, right;
};

Stereo process(VST_GRV& effect, const std::vector<float>& inL, const std::vector<float>& inR)
{
    std::vector<float> a = inL, b = inR;
    Stereo out{std::vector<float>(inL.size(), 0.0f), std::vector<float>(inL.size(), 0.0f)};
    float* ins[2] = {a.data(), b.data()};
    float* outs[2] = {out.left.data(), out.right.data()};
    effect.processReplacing(ins, outs, static_cast<VstInt32>(inL.size()));
    return out;
}

class RecordingEditor : public AEffEditor {
public:
    RecordingEditor() : AEffEditor(nullptr) {}
    void setParameter(VstInt32 index, float value) override { seen.emplace_back(index, value); }
    std::vector<std::pair<VstInt32, float>> seen;
};

RecordingEditor* gLastEditor = nullptr;
AEffEditor* makeRecordingEditor(EditorParameters*)
{
    gLastEditor = new RecordingEditor;
    return gLastEditor;
}

} // namespace

// ---- identity and the fresh effect ----

TEST(VST_GRVIdentity, RecordAndStrings)
{
    VST_GRV effect(nullptr);
    const AEffect* e = effect.getAEffect();
    EXPECT_EQ(e->uniqueID, vstFourCC('G', 'R', 'V', '7'));
    EXPECT_EQ(e->numParams, 11);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, 0x1010); // no editor made
    EXPECT_EQ(effect.getVendorVersion(), 1520);

    char text[80];
    std::memset(text, 'x', sizeof(text));
    EXPECT_TRUE(effect.getEffectName(text));
    EXPECT_STREQ(text, "Gravel v1.5.2");

    for (bool vendor : {true, false}) {
        std::memset(text, 'x', sizeof(text));
        EXPECT_TRUE(vendor ? effect.getVendorString(text) : effect.getProductString(text));
        const std::string expected = vendor ? "Brackenfold" : "Gravel Rumbledrift Overdrive v1.5.2";
        EXPECT_EQ(std::string(text), expected);
        for (size_t i = expected.size(); i < 64; ++i)
            EXPECT_EQ(text[i], 0) << i;
        // A host's 64-byte buffer ends here: nothing may be written past it.
        EXPECT_EQ(text[64], 'x');
    }
}

TEST(VST_GRVParameters, FreshEffectTable)
{
    VST_GRV effect(nullptr);
    const struct {
        const char* name;
        const char* label;
        float value;
        const char* display;
    } table[] = {
        {"Input Level", "x", 0.5f, "1.00"}, {"Drive", "", 0.0f, "0.00"},
        {"Tone", "", 0.5f, "5.00"},         {"Level", "", 0.5f, "5.00"},
        {"Asym.", "", 0.0f, "Off"},         {"Fat", "", 0.0f, "Off"},
        {"In Buffer", "", 1.0f, "On"},      {"Out Buffer", "", 1.0f, "On"},
        {"Plugin Mode", "", 0.0f, "Mono"},  {"Bypass", "", 0.0f, "Off"},
        {"Oversampling", "x", 0.0f, "2"},
    };
    for (VstInt32 i = 0; i < 11; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(name(effect, i), table[i].name);
        EXPECT_EQ(label(effect, i), table[i].label);
        EXPECT_EQ(effect.getParameter(i), table[i].value);
        EXPECT_EQ(display(effect, i), table[i].display);
    }
    EXPECT_EQ(effect.getProcessMode(), 1);
    EXPECT_EQ(effect.getOversamplerL().factor, 2u);
    EXPECT_EQ(effect.getOversamplerR().factor, 2u);
    EXPECT_EQ(effect.getOversamplerL().model->getSampleRate(), 88200.0);
}

TEST(VST_GRVParameters, IndicesOutsideTheTable)
{
    VST_GRV effect(nullptr, makeRecordingEditor);
    EXPECT_EQ(effect.getAEffect()->flags, 0x1011);
    for (VstInt32 index : {11, -1, 1000}) {
        EXPECT_EQ(effect.getParameter(index), 0.0f);
        char text[16] = "keep";
        effect.getParameterDisplay(index, text);
        effect.getParameterName(index, text);
        effect.getParameterLabel(index, text);
        EXPECT_STREQ(text, "keep");
    }
    gLastEditor->seen.clear();
    effect.setParameter(11, 0.7f);
    ASSERT_EQ(gLastEditor->seen.size(), 1u); // still told to the editor
    EXPECT_EQ(gLastEditor->seen[0], std::make_pair(VstInt32(11), 0.7f));
    for (VstInt32 i = 0; i < 11; ++i)
        EXPECT_EQ(effect.getParameter(i), i == 0 || i == 2 || i == 3 ? 0.5f : (i == 6 || i == 7 ? 1.0f : 0.0f));
}

TEST(VST_GRVParameters, DisplaysFollowTheValueAtOnce)
{
    VST_GRV effect(nullptr, makeRecordingEditor);
    effect.setParameter(kInputLevel, 1.0f);
    effect.setParameter(kDrive, 1.0f);
    effect.setParameter(kTone, 0.25f);
    effect.setParameter(kAsym, 0.5f);
    effect.setParameter(kFat, 0.49f);
    effect.setParameter(kInBuffer, 0.0f);
    EXPECT_EQ(display(effect, kInputLevel), "2.00");
    EXPECT_EQ(display(effect, kDrive), "10.0");
    EXPECT_EQ(display(effect, kTone), "2.50");
    EXPECT_EQ(display(effect, kAsym), "On");
    EXPECT_EQ(display(effect, kFat), "Off");
    EXPECT_EQ(display(effect, kInBuffer), "Off");
    EXPECT_EQ(gLastEditor->seen.back(), std::make_pair(VstInt32(kInBuffer), 0.0f));
}

TEST(VST_GRVParameters, OversamplingThresholds)
{
    VST_GRV effect(nullptr);
    const struct {
        float value;
        const char* shown;
    } cases[] = {{0.0f, "2"}, {0.3333f, "2"}, {0.34f, "4"}, {0.5f, "4"},
                 {0.6666f, "4"}, {0.6667f, "8"}, {1.0f, "8"}};
    std::vector<float> silence(1, 0.0f);
    for (const auto& c : cases) {
        effect.setParameter(kOversampling, c.value);
        EXPECT_EQ(display(effect, kOversampling), c.shown) << c.value;
        process(effect, silence, silence);
        EXPECT_EQ(std::to_string(effect.getOversamplerL().factor), c.shown) << c.value;
        EXPECT_EQ(effect.getOversamplerR().factor, effect.getOversamplerL().factor);
        EXPECT_EQ(effect.getOversamplerL().model->getSampleRate(),
                  44100.0 * effect.getOversamplerL().factor);
    }
}

// Host values that are no parameter value at all never reach the models.
TEST(VST_GRVParameters, NaNIsIgnoredAndOutOfRangeIsClamped)
{
    VST_GRV effect(nullptr);
    effect.setParameter(kOversampling, 0.5f);
    effect.setParameter(kOversampling, NAN);
    EXPECT_EQ(display(effect, kOversampling), "4");
    EXPECT_EQ(effect.getParameter(kOversampling), 0.5f);

    effect.setParameter(kDrive, 0.3f);
    effect.setParameter(kDrive, NAN);
    EXPECT_EQ(effect.getParameter(kDrive), 0.3f);
    effect.setParameter(kDrive, 7.0f);
    EXPECT_EQ(effect.getParameter(kDrive), 1.0f);
    EXPECT_EQ(display(effect, kDrive), "10.0");
    effect.setParameter(kTone, -3.0f);
    EXPECT_EQ(display(effect, kTone), "0.00");
    effect.setParameter(kLevel, INFINITY);
    EXPECT_EQ(effect.getParameter(kLevel), 1.0f);
    effect.setParameter(kInputLevel, 100.0f);
    EXPECT_EQ(display(effect, kInputLevel), "2.00");
    effect.setParameter(kAsym, NAN);
    EXPECT_EQ(display(effect, kAsym), "Off");

    const Stereo out = process(effect, signal(2048), signal(2048));
    for (float y : out.left)
        ASSERT_TRUE(std::isfinite(y));
    EXPECT_EQ(effect.getOversamplerL().factor, 4u);
}

// ---- program ----

TEST(VST_GRVProgram, NameRoundTrips)
{
    VST_GRV effect(nullptr);
    EXPECT_EQ(programName(effect), "Init 1");
    char other[] = "Crunch";
    effect.setProgramName(other);
    EXPECT_EQ(programName(effect), "Crunch");
    char init[] = "Init";
    effect.setProgramName(init);
    EXPECT_EQ(programName(effect), "Init 1");
    char longName[] = "A name far longer than twenty-three characters";
    effect.setProgramName(longName);
    EXPECT_EQ(programName(effect), std::string(longName, 23));
}

TEST(VST_GRVProgram, SetProgramReappliesTheStoredValuesExactly)
{
    VST_GRV effect(nullptr);
    const float chosen[11] = {0.11f, 0.73f, 0.123456f, 0.9f, 1.0f, 0.2f,
                              0.0f,  0.6f,  0.8f,      0.3f, 0.7f};
    for (VstInt32 i = 0; i < 11; ++i)
        effect.setParameter(i, chosen[i]);
    AEffect* e = effect.getAEffect();
    e->dispatcher(e, effSetProgram, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetProgram, 0, 1, nullptr, 0.0f); // only one program: ignored
    for (VstInt32 i = 0; i < 11; ++i)
        EXPECT_EQ(effect.getParameter(i), chosen[i]) << i;
    EXPECT_EQ(e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.getProcessMode(), 2); // stereo (0.8), bypass off (0.3)
}

// ---- channel mode and bypass ----

TEST(VST_GRVModes, BypassRemembersTheChannelMode)
{
    VST_GRV effect(nullptr);
    effect.setParameter(kBypass, 1.0f);
    effect.setParameter(kPluginMode, 1.0f);
    EXPECT_EQ(display(effect, kPluginMode), "Stereo");
    EXPECT_EQ(effect.getProcessMode(), 0);
    effect.setParameter(kBypass, 0.0f);
    EXPECT_EQ(effect.getProcessMode(), 2);
    effect.setParameter(kPluginMode, 0.2f);
    EXPECT_EQ(effect.getProcessMode(), 1);

    effect.setPluginBypass(1.0f);
    EXPECT_EQ(effect.getProcessMode(), 0);
    effect.setPluginMode(1.0f);
    EXPECT_EQ(effect.getProcessMode(), 0);
    effect.setPluginBypass(0.0f);
    EXPECT_EQ(effect.getProcessMode(), 2);
    // Neither touches the values.
    EXPECT_EQ(effect.getParameter(kPluginMode), 0.2f);
    EXPECT_EQ(effect.getParameter(kBypass), 0.0f);
}

// ---- processing ----

TEST(VST_GRVProcess, ZeroOrNegativeFramesWriteNothing)
{
    VST_GRV effect(nullptr);
    const unsigned before = _mm_getcsr();
    float in[4] = {1, 2, 3, 4}, outL[4] = {7, 7, 7, 7}, outR[4] = {7, 7, 7, 7};
    float* ins[2] = {in, in};
    float* outs[2] = {outL, outR};
    effect.processReplacing(ins, outs, 0);
    effect.processReplacing(ins, outs, -5);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(outL[i] + outR[i], 14.0f);
    EXPECT_EQ(_mm_getcsr(), before);
    effect.processReplacing(ins, outs, 4);
    EXPECT_EQ(_mm_getcsr(), before); // restored after a real block too
}

TEST(VST_GRVProcess, BypassIsBitExactInBothPrecisions)
{
    VST_GRV effect(nullptr);
    effect.setParameter(kInputLevel, 0.9f);
    effect.setParameter(kDrive, 1.0f);
    effect.setParameter(kBypass, 1.0f);
    std::vector<float> l = signal(300, 1), r = signal(300, 2);
    l[5] = 1e-40f; // a subnormal passes untouched too: the copy does no arithmetic
    Stereo out = process(effect, l, r);
    EXPECT_EQ(std::memcmp(out.left.data(), l.data(), l.size() * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(out.right.data(), r.data(), r.size() * sizeof(float)), 0);

    // In place, crossed: output 0 is input 1's buffer and the other way round.
    std::vector<double> a(300), b(300);
    for (int i = 0; i < 300; ++i) {
        a[i] = l[i] * 1.000000001;
        b[i] = r[i];
    }
    const std::vector<double> a0 = a, b0 = b;
    double* ins[2] = {a.data(), b.data()};
    double* outs[2] = {b.data(), a.data()};
    effect.processDoubleReplacing(ins, outs, 300);
    EXPECT_EQ(b, a0);
    EXPECT_EQ(a, b0);
}

TEST(VST_GRVProcess, MonoCopiesOneChannelAndIgnoresTheOther)
{
    VST_GRV first(nullptr), second(nullptr);
    for (VST_GRV* e : {&first, &second})
        e->setParameter(kDrive, 0.6f);
    const std::vector<float> l = signal(1000);
    const Stereo a = process(first, l, std::vector<float>(1000, 0.0f));
    const Stereo b = process(second, l, signal(1000, 99));
    EXPECT_EQ(a.left, a.right);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(b.left, b.right);
    EXPECT_NE(a.left, l); // the model did run
}

TEST(VST_GRVProcess, StereoChannelsAreAlikeAndIndependent)
{
    VST_GRV effect(nullptr);
    effect.setParameter(kPluginMode, 1.0f);
    effect.setParameter(kDrive, 0.8f);
    const std::vector<float> l = signal(2000);
    const Stereo same = process(effect, l, l);
    EXPECT_EQ(same.left, same.right);

    VST_GRV other(nullptr);
    other.setParameter(kPluginMode, 1.0f);
    other.setParameter(kDrive, 0.8f);
    const Stereo differ = process(other, l, std::vector<float>(2000, 0.0f));
    EXPECT_EQ(differ.left, same.left);
    EXPECT_NE(differ.right, same.right);
}

TEST(VST_GRVProcess, InPlaceEqualsSeparateBuffers)
{
    VST_GRV separate(nullptr), inPlace(nullptr);
    for (VST_GRV* e : {&separate, &inPlace}) {
        e->setParameter(kPluginMode, 1.0f);
        e->setParameter(kOversampling, 1.0f);
    }
    const std::vector<float> l = signal(700, 3), r = signal(700, 4);
    const Stereo expected = process(separate, l, r);
    std::vector<float> a = l, b = r;
    float* bufs[2] = {a.data(), b.data()};
    inPlace.processReplacing(bufs, bufs, 700);
    EXPECT_EQ(a, expected.left);
    EXPECT_EQ(b, expected.right);
}

TEST(VST_GRVProcess, FloatAndDoubleDifferOnlyByTheFinalNarrowing)
{
    for (float factor : {0.0f, 0.5f, 1.0f}) {
        VST_GRV f(nullptr), d(nullptr);
        for (VST_GRV* e : {&f, &d}) {
            e->setParameter(kPluginMode, 1.0f);
            e->setParameter(kDrive, 0.7f);
            e->setParameter(kOversampling, factor);
        }
        const std::vector<float> l = signal(1500, 5), r = signal(1500, 6);
        const Stereo fo = process(f, l, r);
        std::vector<double> dl(l.begin(), l.end()), dr(r.begin(), r.end());
        std::vector<double> ol(1500), orr(1500);
        double* ins[2] = {dl.data(), dr.data()};
        double* outs[2] = {ol.data(), orr.data()};
        d.processDoubleReplacing(ins, outs, 1500);
        for (int i = 0; i < 1500; ++i) {
            ASSERT_EQ(fo.left[i], static_cast<float>(ol[i])) << i;
            ASSERT_EQ(fo.right[i], static_cast<float>(orr[i])) << i;
        }
    }
}

TEST(VST_GRVProcess, InputLevelZeroGivesTheResponseToSilence)
{
    VST_GRV muted(nullptr), silent(nullptr);
    muted.setParameter(kInputLevel, 0.0f);
    const Stereo a = process(muted, signal(1024), signal(1024));
    const Stereo b = process(silent, std::vector<float>(1024, 0.0f), std::vector<float>(1024, 0.0f));
    EXPECT_EQ(a.left, b.left);
}

TEST(VST_GRVProcess, NaNAtTheEndOfABlockIsSilenceAndLeavesNoTrace)
{
    VST_GRV poisonedEffect(nullptr), silentEffect(nullptr);
    for (VST_GRV* e : {&poisonedEffect, &silentEffect}) {
        e->setParameter(kPluginMode, 1.0f);
        e->setParameter(kDrive, 0.5f);
    }

    std::vector<float> poisoned = signal(256), silenced = poisoned;
    poisoned.back() = NAN;
    silenced.back() = 0.0f;
    for (VST_GRV* e : {&poisonedEffect, &silentEffect})
        process(*e, signal(256), signal(256));
    const Stereo bad = process(poisonedEffect, poisoned, signal(256));
    const Stereo good = process(silentEffect, silenced, signal(256));
    EXPECT_EQ(bad.left, good.left);
    EXPECT_TRUE(std::isfinite(bad.left.back()));

    const std::vector<float> next = signal(512, 8);
    const Stereo after = process(poisonedEffect, next, next);
    const Stereo reference = process(silentEffect, next, next);
    for (size_t i = 0; i < next.size(); ++i) {
        ASSERT_TRUE(std::isfinite(after.left[i]) && std::isfinite(after.right[i])) << i;
        ASSERT_EQ(after.left[i], reference.left[i]) << i;
        ASSERT_EQ(after.right[i], reference.right[i]) << i;
    }
}

TEST(VST_GRVProcess, SampleRateReachesTheModelsAtTheNextBlock)
{
    VST_GRV effect(nullptr);
    effect.setParameter(kOversampling, 0.5f);
    AEffect* e = effect.getAEffect();
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    EXPECT_EQ(effect.getOversamplerL().baseRate, 44100.0); // not yet: no block has run

    process(effect, std::vector<float>(1, 0.0f), std::vector<float>(1, 0.0f));
    for (const HBOversampler<GRV>* o : {&effect.getOversamplerL(), &effect.getOversamplerR()}) {
        EXPECT_EQ(o->baseRate, 48000.0);
        EXPECT_EQ(o->factor, 4u);
        EXPECT_EQ(o->model->getSampleRate(), 192000.0);
    }

    // Beyond the accepted range a huge rate would overflow the tone glide's
    // step counter and divide by zero.
    for (float bad : {0.0f, -44100.0f, NAN, INFINITY, 7999.0f, 768001.0f, 2.4e13f, FLT_MAX}) {
        SCOPED_TRACE(bad);
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, bad);
        const Stereo out = process(effect, signal(64), signal(64));
        EXPECT_TRUE(std::isfinite(out.left.back()));
        EXPECT_EQ(effect.getSampleRate(), 48000.0f);
        EXPECT_EQ(effect.getOversamplerL().baseRate, 48000.0);
    }
    for (float edge : {8000.0f, 768000.0f}) {
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, edge);
        const Stereo out = process(effect, signal(64), signal(64));
        EXPECT_TRUE(std::isfinite(out.left.back()));
        EXPECT_EQ(effect.getOversamplerL().baseRate, edge);
    }
}

TEST(VST_GRVProcess, AudioPathAndParameterCallsAllocateNothing)
{
    VST_GRV effect(nullptr);
    const std::vector<float> l = signal(512), r = signal(512, 2);
    std::vector<float> outL(512), outR(512), inL = l, inR = r;
    std::vector<double> dl(l.begin(), l.end()), dr(r.begin(), r.end()), dOutL(512), dOutR(512);
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    double* dIns[2] = {dl.data(), dr.data()};
    double* dOuts[2] = {dOutL.data(), dOutR.data()};
    char text[64];

    allocation_counter::Scope scope;
    for (int round = 0; round < 12; ++round) {
        const float v = round / 11.0f;
        for (VstInt32 i = 0; i < 11; ++i) {
            effect.setParameter(i, i == kBypass ? (round % 4 == 3 ? 1.0f : 0.0f) : v);
            effect.getParameter(i);
            effect.getParameterDisplay(i, text);
        }
        effect.setSampleRate(round % 2 ? 48000.0f : 44100.0f);
        effect.processReplacing(ins, outs, 512);
        effect.processDoubleReplacing(dIns, dOuts, 512);
    }
    inL.back() = NAN; // the repair path too
    effect.processReplacing(ins, outs, 512);
    EXPECT_EQ(scope.allocations(), 0);
}

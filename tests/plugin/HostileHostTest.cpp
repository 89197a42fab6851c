// What a careless or hostile host can hand the effect: audio far louder than
// any guitar, NaN and infinity, null channels, absurd sample rates. The effect
// must keep making finite sound, never crash, and sound exactly as it always
// did wherever it already coped.

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LoudSignals.h"
#include "plugin/VST_GRV.h"

namespace {

// Fingerprints of the model before loud input was made safe, for settings
// 0..95: sines at ±8, edges at ±8, edges at ±4. 0 marks output that was not
// finite then (the diodes' exponentials overflowed).
constexpr uint64_t kEarlierFingerprints[loud::kSettingsCount][3] = {
    {0xa613536636125c93ull, 0x0000000000000000ull, 0xa7c903245b4f4805ull},
    {0x624e14b0a73225f9ull, 0x0000000000000000ull, 0x901b29614a11b610ull},
    {0xf66f391db67611b3ull, 0x1571da7feaffa143ull, 0xfcd16b8a9e5efa99ull},
    {0xd2c9350e11c8de4cull, 0x308487e0f0d343a3ull, 0xc9c7390cde9a4f3bull},
    {0x168ab67e99af7c4bull, 0x531fceb4db30aed1ull, 0x98b4937c926285bfull},
    {0xaaed2e4784d55514ull, 0x40f6951896e00bf1ull, 0x5ab2d6cb13098518ull},
    {0x3f4e20d3035c99cdull, 0x0000000000000000ull, 0xaf6f99bb5381df01ull},
    {0xd8f32b34e8042897ull, 0x0000000000000000ull, 0x206e43973718ee4cull},
    {0x91d7943591b93a31ull, 0xf60815c6e69c463full, 0x9f26db0db34436b5ull},
    {0x4041f3736d99448full, 0x39746ad77b4a2b32ull, 0xbe6947a5881734adull},
    {0x04dca4ac9c258d27ull, 0x5c35e21681537f01ull, 0x235e7d3f0ed7f063ull},
    {0x4f946a49a0c7f7e4ull, 0x3c0139a6b6ec5172ull, 0x68de4230b8a2fe0cull},
    {0xae2f0445dc5ed441ull, 0x0000000000000000ull, 0x92dc197d99cc2b5dull},
    {0xddc3bc0c46acf50dull, 0x0000000000000000ull, 0x6031e80483d24952ull},
    {0x6d01f1a16a6658f5ull, 0x3073cbac7420c543ull, 0xf9ab5cf225b3818bull},
    {0x07773e30c983e461ull, 0x37c5dc847d3cf6caull, 0xd8204f2139938954ull},
    {0x495ad305c0c6d83dull, 0xfcb554c555ac5309ull, 0x1f381f98cd7716e9ull},
    {0xbe9e74149ade899cull, 0x6c78ca9f7b676394ull, 0x511c5bdfb9f82cd1ull},
    {0x662637e4da0a009full, 0x0000000000000000ull, 0xc890d2eae26d132full},
    {0xe0d092648c955c3dull, 0x0000000000000000ull, 0x721bcc73f08d4482ull},
    {0xe7efce81a7ddcf61ull, 0x211859bceff4de75ull, 0x04e50326a5fb81e5ull},
    {0xbd29c311e6f35ed6ull, 0xae6f0620e259ba03ull, 0x298a3e3718c413eeull},
    {0xcd2404bf6aa989fdull, 0x0b7cd31815609683ull, 0x7a921b7c18f59da9ull},
    {0x0da83e459be450c0ull, 0x6e9431c4695d2c1bull, 0xcfbcb0b6e62773abull},
    {0x137255085a4c1203ull, 0x0000000000000000ull, 0x4f622604af559bc7ull},
    {0x44cad920004b4865ull, 0x0000000000000000ull, 0x2218301c6edcdf6dull},
    {0x558844e02772cd27ull, 0x7523badbab227161ull, 0xca4bb5449c458859ull},
    {0x849dccc52a3445ceull, 0x9785b177c7be3f67ull, 0x25909f90a1a00d42ull},
    {0xfb06e54295e2b041ull, 0x48a3695d61bb55bbull, 0xd52e509992d7b287ull},
    {0x05ba01cc10c8a439ull, 0xa05db942086510adull, 0x2569c3392a4ec2c6ull},
    {0x82c67b41308513e5ull, 0x0000000000000000ull, 0x485a1bef9b20eb85ull},
    {0xcb20dad6f688d5ffull, 0x0000000000000000ull, 0x597d7e8a1d8bad9full},
    {0x0af3f9874f18361full, 0x70d126389d390c3dull, 0x67d0306f9b534b91ull},
    {0x87b78a559deaef41ull, 0x24ec7e4fc419244bull, 0x3a87ab22e6993ea5ull},
    {0xf95bad4b19998685ull, 0x531cdc175718c405ull, 0x5bc867bd7f581477ull},
    {0x7322ab88a5898021ull, 0x9a47a78244eab6e7ull, 0x1c396fa62ac8adcaull},
    {0x997b9ecaa814981bull, 0x0000000000000000ull, 0x9110c56b9b628a89ull},
    {0xe77f9121d180acf3ull, 0x0000000000000000ull, 0x8f31316e68bae879ull},
    {0x56d088df46e69913ull, 0x1a64c3f18b2b6261ull, 0xcf5fc878f918af7dull},
    {0xc9a423894a408518ull, 0x741c8d77216ad777ull, 0xa22fa50fbd379417ull},
    {0x4a77e27843ec45b5ull, 0x8b4e0ea6bdcc2e99ull, 0xd38c88a2c4dfda3bull},
    {0xa8f5d5611ae0c4d2ull, 0x5a743c56c412ddd2ull, 0xdc8ca0b676455f76ull},
    {0x5f51b51f362968dbull, 0x0000000000000000ull, 0xa9b8383b61e0261dull},
    {0x26cc5232453398abull, 0x0000000000000000ull, 0x165e5e99838e1b0aull},
    {0x613249a117a371a3ull, 0x9c4cfa4c88e4ddbbull, 0xc327063b5528f129ull},
    {0x3a9fe28e74540cb8ull, 0x8537e5d3f0328f1cull, 0xaf7771cdb7fb4899ull},
    {0x52796afb59ce0df1ull, 0x9242701360685bbbull, 0x8a6474df578bc361ull},
    {0x714cd11e358b2a62ull, 0xd12c9bd7f5caa6d0ull, 0xcbe796da4ecb7128ull},
    {0xa263ffc1d23f9813ull, 0x0000000000000000ull, 0xb83bbe940e0eb8c9ull},
    {0xab0a192c445bcd9bull, 0x0000000000000000ull, 0xe10e82f73498b9ccull},
    {0x65e503ee21cd1991ull, 0x0fce9d22189b9c65ull, 0x6a177e36abb42df1ull},
    {0x2323b85998df1393ull, 0x69565a931492f87dull, 0x79c501ee1550f331ull},
    {0xd2b5a9c8e594649bull, 0x653124b3ce5769b7ull, 0x7c6d3430a351ca1bull},
    {0x5aab2fd11ae8d9ceull, 0x572be4c466a1f376ull, 0x62442c9f4b25ca33ull},
    {0x7b0112840ea44f4full, 0x0000000000000000ull, 0x7a8faba377d20b6full},
    {0x9ccf935002ac4e31ull, 0x0000000000000000ull, 0x8ba37be0be6baed7ull},
    {0x5013b87bbac6a0dfull, 0x64296d03d92f9fd3ull, 0xfdf1c976f66d09f9ull},
    {0x64a056498cfb7df2ull, 0x198ffb0cd39efedaull, 0x1f164f87c50dbec1ull},
    {0x9944fa1b6f952637ull, 0x14c20020db8c7161ull, 0x175b740c98b40109ull},
    {0x2afb59ad15551201ull, 0x859fc07fce39f611ull, 0x49d790cc5a0a718full},
    {0x9d21509cb4705435ull, 0x0000000000000000ull, 0xe3654ee499776a4full},
    {0x5879e6bbaf1f8536ull, 0x0000000000000000ull, 0x98ff31cd375b5939ull},
    {0x1452432157264e73ull, 0x0f78a1f72329f9d1ull, 0xd1feffa112f17a95ull},
    {0xef4cd04b8ab2e5b4ull, 0x25c05fac66b59579ull, 0xbc7d14e9b64d0142ull},
    {0x04cf4b49b78c590bull, 0x62de9690044a866full, 0x3429c5919e2ff6b3ull},
    {0x5279475151f4e6e8ull, 0x45bba77e0dc4f214ull, 0x2c5cbccb0936c511ull},
    {0xf19130d2dfe516b3ull, 0x0000000000000000ull, 0xc9a581de97bcfdf1ull},
    {0xd9b738e478e3cf15ull, 0x0000000000000000ull, 0xf449995715aa2cf5ull},
    {0x58eef36f7e654d21ull, 0x2c989d12757837f3ull, 0xbbacb673f63aa9d5ull},
    {0x752e2eedfc250f0aull, 0xf9302abe0e2d2f01ull, 0x044e6333363f20f1ull},
    {0x169c04f324f48355ull, 0x2710bd107b9646c1ull, 0x2c03d2d91e253d9bull},
    {0x53b0435cd57c22e6ull, 0xc7a94c6da11c0d9cull, 0x3b1af5db0bedd412ull},
    {0xf2ed9d5e0f4599b5ull, 0x0000000000000000ull, 0xa3d6cb845500692dull},
    {0x28af79249a5f3f9aull, 0x0000000000000000ull, 0x22f78e1cb38ef6bcull},
    {0x39f67f306f05b505ull, 0x2e439d63c8e5112bull, 0xf661f9d72bc42abbull},
    {0xd468c49d2b8cfce6ull, 0xb11d9d953c7b2257ull, 0x626ab09f638a8732ull},
    {0x056cd760c4db50f3ull, 0xfb983641ac5d9941ull, 0x008c1e05bb055fb5ull},
    {0xd71369dbab9043e9ull, 0x74aff0ff6bcc5b53ull, 0x04194611bfb25ef1ull},
    {0xbdc8b5b311ebbb1full, 0x0000000000000000ull, 0x7519370abaa6fd37ull},
    {0x7b319bc91d0e5831ull, 0x0000000000000000ull, 0x50b6a25b9c625b08ull},
    {0x5921f266c496b93full, 0xd8ee56b8753a0c59ull, 0x87d1f82b6763b23bull},
    {0xee7c144fbb659289ull, 0x2b82e4c624b3436bull, 0x316acdaca0c3d8f5ull},
    {0x1e7b45ae7204c07bull, 0xabad93d4d66b34c7ull, 0xaaf51c822999dce1ull},
    {0x499e4557828c4fc9ull, 0xe8044687ee3a071full, 0x5ea36660826053dcull},
    {0x413f2a2b3eae5ea9ull, 0x0000000000000000ull, 0xff42043c51751661ull},
    {0xb06535cd3d30e1a3ull, 0x0000000000000000ull, 0xc028fa0db1d93eddull},
    {0x82dfab469b734e37ull, 0x91c5150e5e5024ebull, 0x34fde03c1fb3c6f7ull},
    {0x9f7f3a96d8d5f74eull, 0xc5b8a68b170dd3a5ull, 0xc34df4a6ca1dbcd5ull},
    {0x0ddfa80c9c8a0c3full, 0x322db814a1e77ad5ull, 0x2e96e9e5d4e9cb73ull},
    {0x33b4779f84ea41faull, 0x97a93a3e01d3a672ull, 0x22da2fc910b4bf53ull},
    {0xa2d0373ff1187ff1ull, 0x0000000000000000ull, 0xaa7f919ca9b55cc5ull},
    {0xfd5b62924858962eull, 0x0000000000000000ull, 0xb735741995d62404ull},
    {0x5368d548af98bd5full, 0xc9e8ec6fd135d783ull, 0x6733b20cd7645119ull},
    {0xac9d2d3fc6cf2ea0ull, 0xb442ef625fd6b716ull, 0x0e32f235ed6724caull},
    {0xf755b602f3b93f4bull, 0xab5ca7ee6954c623ull, 0xa47e40341912d36bull},
    {0xa1c439be93d7ecf8ull, 0x52323e9d385bd42aull, 0xe5927b3551ee2418ull},
};

std::vector<float> sine(int frames, float amplitude)
{
    std::vector<float> x(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        x[static_cast<size_t>(i)] = amplitude * std::sin(2.0f * 3.14159265f * 196.0f * i / 44100.0f);
    return x;
}

struct Stereo {
    std::vector<float> left, right;
};

Stereo process(VST_GRV& effect, std::vector<float> inL, std::vector<float> inR)
{
    Stereo out{std::vector<float>(inL.size()), std::vector<float>(inL.size())};
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {out.left.data(), out.right.data()};
    effect.processReplacing(ins, outs, static_cast<VstInt32>(inL.size()));
    return out;
}

int countNonFinite(const std::vector<float>& samples)
{
    int count = 0;
    for (float y : samples)
        count += std::isfinite(y) ? 0 : 1;
    return count;
}

} // namespace

// Up to ±8 at every setting the sound is the one the model always made,
// bit for bit, and where the old model broke down it is now finite.
TEST(LoudInput, SoundsAsBeforeWhereverTheModelCopedAndIsFiniteWhereItDidNot)
{
    const std::pair<loud::Shape, double> signals[3] = {
        {loud::Shape::Sines, 8.0}, {loud::Shape::Edges, 8.0}, {loud::Shape::Edges, 4.0}};
    int compared = 0;
    for (int n = 0; n < loud::kSettingsCount; ++n) {
        for (int s = 0; s < 3; ++s) {
            SCOPED_TRACE(testing::Message() << "settings " << n << ", signal " << s);
            VST_GRV effect(nullptr);
            loud::applySettings(effect, n);
            const loud::Outcome outcome =
                loud::run(effect, loud::makeSignal(signals[s].first, signals[s].second));
            EXPECT_EQ(outcome.nonFinite, 0);
            if (kEarlierFingerprints[n][s] != 0) {
                EXPECT_EQ(outcome.fingerprint, kEarlierFingerprints[n][s]);
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, 3 * loud::kSettingsCount - 32);
}

// At the default settings the old model held out up to a step of about 21.1
// (+26 dBFS); just below that it must sound the same.
TEST(LoudInput, DefaultSettingsSoundAsBeforeJustBelowTheOldLimit)
{
    const struct {
        loud::Shape shape;
        double amplitude;
        uint64_t fingerprint;
    } cases[] = {
        {loud::Shape::Step, 21.09, 0x7d96f54c88836a6full},
        {loud::Shape::Step, -21.09, 0x10ce5399089bc497ull},
        {loud::Shape::Sines, 21.0, 0x2c2f61dcb736af7full},
        {loud::Shape::Edges, 10.5, 0x181e14e9d9023fc1ull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.amplitude);
        VST_GRV effect(nullptr);
        const loud::Outcome outcome = loud::run(effect, loud::makeSignal(c.shape, c.amplitude));
        EXPECT_EQ(outcome.nonFinite, 0);
        EXPECT_EQ(outcome.fingerprint, c.fingerprint);
    }
}

// The loudest a float can hold, steady, alternating, as noise or as one
// spike, at every setting: the pedal saturates, its output stays finite and
// within what a 9 V circuit can swing.
TEST(LoudInput, TheLoudestFloatsGiveFiniteBoundedOutputAtEverySetting)
{
    constexpr int frames = 600;
    std::vector<float> spike = sine(frames, 0.3f);
    spike[200] = -1e30f;
    const std::vector<float> signals[] = {
        loud::makeSignal(loud::Shape::Step, FLT_MAX, frames),
        loud::makeSignal(loud::Shape::Edges, FLT_MAX, frames),
        loud::makeSignal(loud::Shape::Edges, -FLT_MAX, frames),
        spike,
    };
    for (int n = 0; n < loud::kSettingsCount; n += 1) {
        for (size_t s = 0; s < std::size(signals); ++s) {
            SCOPED_TRACE(testing::Message() << "settings " << n << ", signal " << s);
            VST_GRV effect(nullptr);
            loud::applySettings(effect, n);
            const Stereo out = process(effect, signals[s], signals[s]);
            for (const std::vector<float>* channel : {&out.left, &out.right}) {
                ASSERT_EQ(countNonFinite(*channel), 0);
                for (float y : *channel)
                    ASSERT_LT(std::abs(y), 20.0f);
            }
        }
    }
}

// Found by fuzzing: a few enormous spikes through the input buffer, then a
// program with the buffers out and the input muted. The half-band stages
// ring the spikes into the clipping stage for several blocks while its state
// is out of all proportion, and its solve's overshoot fed on itself until it
// overflowed. It must stay finite while it dies away.
TEST(LoudInput, SpikesRingingIntoAMutedProgramStayFinite)
{
    VST_GRV effect(nullptr);
    const float before[kGRVNumParams] = {0.5f, 0.75f, 0.746f, 0, 0, 0, 1, 1, 0, 0, 0};
    const float after[kGRVNumParams] = {0, 0, 1e-43f, 1e-43f, 1, 1e-43f, 0, 0, 0, 0, 0};
    std::vector<float> spikes(64, 0.0f);
    spikes[0] = 1.56e7f;
    spikes[1] = 1.44e17f;
    spikes[2] = 2.36e26f;
    spikes[7] = 7.4e31f;
    for (int block = 0; block < 40; ++block) {
        for (VstInt32 index = 0; index < kGRVNumParams; ++index)
            effect.setParameter(index, block < 2 ? before[index] : after[index]);
        const Stereo out = process(effect, spikes, std::vector<float>(64, 0.0f));
        ASSERT_EQ(countNonFinite(out.left) + countNonFinite(out.right), 0) << "block " << block;
    }
}

// Doubles may be louder than any float: they are taken at the float limit.
TEST(LoudInput, DoublesBeyondTheFloatRangeStayFinite)
{
    VST_GRV effect(nullptr);
    effect.setParameter(kPluginMode, 1.0f);
    std::vector<double> x(512, 0.1), y(512), z(512);
    x[100] = DBL_MAX;
    x[101] = -1e300;
    x[511] = 1e200;
    double* in[2] = {x.data(), x.data()};
    double* out[2] = {y.data(), z.data()};
    effect.processDoubleReplacing(in, out, 512);
    for (size_t i = 0; i < y.size(); ++i)
        ASSERT_TRUE(std::isfinite(y[i]) && std::isfinite(z[i])) << i;
}

// NaN and infinities are silence: they never reach the models, so the audio
// around them is what it would be with zeros in their place.
TEST(NonFiniteInput, IsTakenAsSilence)
{
    for (float mode : {0.0f, 1.0f}) {
        SCOPED_TRACE(mode);
        VST_GRV poisoned(nullptr), clean(nullptr);
        for (VST_GRV* e : {&poisoned, &clean}) {
            e->setParameter(kPluginMode, mode);
            e->setParameter(kDrive, 0.7f);
        }
        std::vector<float> bad = sine(1024, 0.4f), zeroed = bad;
        for (size_t i : {0u, 300u, 301u, 1023u}) {
            bad[i] = i == 300 ? INFINITY : (i == 301 ? -INFINITY : NAN);
            zeroed[i] = 0.0f;
        }
        for (int block = 0; block < 2; ++block) {
            const Stereo a = process(poisoned, bad, bad);
            const Stereo b = process(clean, zeroed, zeroed);
            EXPECT_EQ(a.left, b.left);
            EXPECT_EQ(a.right, b.right);
            EXPECT_EQ(countNonFinite(a.left) + countNonFinite(a.right), 0);
        }
    }
}

// A state that went bad is caught at the end of the block even when that
// block's output is finite: here the right channel, unused in mono, is
// damaged (as a model fault would), and switching to stereo must not start
// from it.
TEST(NonFiniteInput, ABadStateIsResetEvenWhenTheBlockEndsFinite)
{
    VST_GRV damaged(nullptr), fresh(nullptr);
    damaged.getOversamplerR().model->process(NAN);
    ASSERT_FALSE(damaged.getOversamplerR().isFinite());

    const std::vector<float> x = sine(512, 0.3f);
    const Stereo mono = process(damaged, x, x);
    EXPECT_EQ(countNonFinite(mono.left) + countNonFinite(mono.right), 0);
    EXPECT_TRUE(damaged.getOversamplerR().isFinite());

    // Reset after the mono block, the damaged effect starts stereo as a
    // fresh one does.
    for (VST_GRV* e : {&damaged, &fresh})
        e->setParameter(kPluginMode, 1.0f);
    const Stereo after = process(damaged, x, x);
    const Stereo reference = process(fresh, x, x);
    EXPECT_EQ(after.left, reference.left);
    EXPECT_EQ(after.right, reference.right);
}

// A host may pass null for a channel: a missing input is silence, a missing
// output is skipped, in every mode and both precisions.
TEST(HostBuffers, NullChannelsAreSilenceOrSkipped)
{
    for (float bypass : {0.0f, 1.0f}) {
        for (float mode : {0.0f, 1.0f}) {
            SCOPED_TRACE(testing::Message() << "bypass " << bypass << ", stereo " << mode);
            VST_GRV withNulls(nullptr), reference(nullptr);
            for (VST_GRV* e : {&withNulls, &reference}) {
                e->setParameter(kPluginMode, mode);
                e->setParameter(kBypass, bypass);
            }
            std::vector<float> x = sine(256, 0.3f), silence(256, 0.0f), y(256, 7.0f);
            float* in[2] = {x.data(), nullptr};
            float* out[2] = {y.data(), nullptr};
            withNulls.processReplacing(in, out, 256);
            const Stereo expected = process(reference, x, silence);
            EXPECT_EQ(y, expected.left);

            std::vector<double> xd(256, 0.25), yd(256, 7.0);
            double* inD[2] = {nullptr, xd.data()};
            double* outD[2] = {nullptr, yd.data()};
            withNulls.processDoubleReplacing(inD, outD, 256);
            for (double v : yd)
                ASSERT_TRUE(std::isfinite(v));
        }
    }
}

// Hosts file plug-ins by category and list programs by name before loading
// any of them.
TEST(HostView, CategoryAndIndexedProgramNames)
{
    VST_GRV effect(nullptr);
    AEffect* e = effect.getAEffect();
    EXPECT_EQ(e->dispatcher(e, effGetPlugCategory, 0, 0, nullptr, 0.0f), kPlugCategEffect);

    char name[32] = {};
    EXPECT_EQ(e->dispatcher(e, effGetProgramNameIndexed, 0, -1, name, 0.0f), 1);
    EXPECT_STREQ(name, "Init 1");
    for (VstInt32 outside : {-1, 1, 1000}) {
        char untouched[32] = "x";
        EXPECT_EQ(e->dispatcher(e, effGetProgramNameIndexed, outside, -1, untouched, 0.0f), 0);
        EXPECT_STREQ(untouched, "x");
    }
    EXPECT_EQ(e->dispatcher(e, effGetProgramNameIndexed, 0, -1, nullptr, 0.0f), 0);

    char renamed[] = "Crunch";
    e->dispatcher(e, effSetProgramName, 0, 0, renamed, 0.0f);
    e->dispatcher(e, effGetProgramNameIndexed, 0, -1, name, 0.0f);
    EXPECT_STREQ(name, "Crunch");
}

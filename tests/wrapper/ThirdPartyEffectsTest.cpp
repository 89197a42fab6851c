// Real VST 2.4 effects from Debian's packages, hosted through the proxy as
// black boxes, the way the gravel tool hosts them. An effect that is not
// installed, does not open or brings down a probe process is skipped: the
// subject failing is not our failure.

#include "EffectLoader.h"

#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Subject {
    const char* testName;
    const char* maker;
    const char* path;
    const char* package;
};

const Subject subjects[] = {
    {"LSP_CompressorStereo", "LSP", "/usr/lib/vst/lsp-plugins/compressor-stereo.so", "lsp-plugins-vst"},
    {"DISTRHO_3BandEQ", "DISTRHO", "/usr/lib/vst/3BandEQ-vst.so", "dpf-plugins-vst"},
    {"DISTRHO_MVerb", "DISTRHO", "/usr/lib/vst/MVerb-vst.so", "dpf-plugins-vst"},
};

using Bytes = std::vector<unsigned char>;

constexpr float sampleRate = 48000.0f;
constexpr int blockSize = 256;

void quiet(const char*, void*) {}

uint32_t beWord(const Bytes& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           uint32_t(b[at + 3]);
}

float beFloat(const Bytes& b, size_t at)
{
    const uint32_t u = beWord(b, at);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

std::string fourCC(const Bytes& b, size_t at) { return std::string(b.begin() + at, b.begin() + at + 4); }

std::string effectText(VSTPlugIn& plugIn, VstInt32 opcode)
{
    char text[1024] = {};
    plugIn.dispatch(opcode, 0, 0, text, 0.0f);
    text[sizeof text - 1] = '\0';
    return text;
}

std::vector<float> reportedValues(VSTPlugIn& plugIn)
{
    std::vector<float> values;
    for (int i = 0; i < plugIn.getParameterCount(); ++i)
        values.push_back(plugIn.getParameter(i));
    return values;
}

std::vector<float> processSine(VSTPlugIn& plugIn, int blocks);

std::vector<std::string> displayTexts(VSTPlugIn& plugIn)
{
    std::vector<std::string> texts;
    for (int i = 0; i < plugIn.getParameterCount(); ++i) {
        char text[32] = {};
        plugIn.getParameterDisplay(i, text);
        texts.push_back(text);
    }
    return texts;
}

// A spread of values over the whole range, a different one per parameter,
// settled by a block of audio as a host's automation would be.
void setPattern(VSTPlugIn& plugIn, float offset)
{
    for (int i = 0; i < plugIn.getParameterCount(); ++i)
        plugIn.setParameter(i, std::fmod(offset + 0.37f * float(i), 1.0f));
    processSine(plugIn, 1);
}

// A 440 Hz sine at -12 dBFS on every input, in full blocks and a short last
// one; returns every output sample. Outputs start as NaN so that a channel
// the effect leaves unwritten shows.
std::vector<float> processSine(VSTPlugIn& plugIn, int blocks)
{
    plugIn.setSampleRate(sampleRate);
    plugIn.setBlockSize(blockSize);
    plugIn.resume();
    const int ins = std::max(plugIn.getInputCount(), 0);
    const int outs = std::max(plugIn.getOutputCount(), 0);
    std::vector<std::vector<float>> in(ins, std::vector<float>(blockSize));
    std::vector<std::vector<float>> out(outs, std::vector<float>(blockSize));
    std::vector<float*> inPointers, outPointers;
    for (auto& channel : in)
        inPointers.push_back(channel.data());
    for (auto& channel : out)
        outPointers.push_back(channel.data());

    std::vector<float> result;
    long sample = 0;
    for (int b = 0; b < blocks; ++b) {
        const int frames = b == blocks - 1 ? blockSize / 2 + 3 : blockSize;
        for (int n = 0; n < frames; ++n) {
            const float x = 0.25f * float(std::sin(2.0 * M_PI * 440.0 * double(sample + n) / sampleRate));
            for (auto& channel : in)
                channel[n] = x;
        }
        for (auto& channel : out)
            std::fill(channel.begin(), channel.end(), std::numeric_limits<float>::quiet_NaN());
        plugIn.processReplacing(inPointers.data(), outPointers.data(), frames);
        for (auto& channel : out)
            result.insert(result.end(), channel.begin(), channel.begin() + frames);
        sample += frames;
    }
    plugIn.suspend();
    return result;
}

Bytes createFXP(VSTPlugIn& plugIn)
{
    size_t size = 0;
    auto buffer = plugIn.createFXP(size);
    return Bytes(buffer.get(), buffer.get() + size);
}

Bytes createFXB(VSTPlugIn& plugIn)
{
    size_t size = 0;
    auto buffer = plugIn.createFXB(size);
    return Bytes(buffer.get(), buffer.get() + size);
}

// A folder of this process's own, removed with everything in it.
struct ScratchFolder {
    std::string path;
    ScratchFolder()
    {
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        std::string pattern = ((ec ? fs::path("/tmp") : base) / "gravel-probe-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        if (!path.empty())
            fs::remove_all(path, ec);
    }
};

// Runs everything the tests do to a subject in a child process, so that an
// effect that crashes (or hangs) is found out before it can take the test
// binary down. Returns why the subject is unusable, or "" when it is usable.
std::string probe(const Subject& subject)
{
    // The child's stand-in bundle goes here, so that a crash leaves nothing behind.
    const ScratchFolder scratch;
    int stages[2];
    if (pipe(stages) != 0)
        return "";
    const pid_t child = fork();
    if (child < 0) {
        close(stages[0]);
        close(stages[1]);
        return "";
    }
    if (child == 0) {
        close(stages[0]);
        alarm(60);
        if (!scratch.path.empty())
            setenv("TMPDIR", scratch.path.c_str(), 1);
        auto stage = [&](const char* what) {
            const ssize_t ignored = write(stages[1], what, std::strlen(what) + 1);
            (void)ignored;
        };
        try {
            stage("opening");
            LoadedEffect loaded(subject.path, sampleRate, blockSize);
            VSTPlugIn& plugIn = loaded.plugIn();
            stage("reading its names and parameters");
            effectText(plugIn, effGetEffectName);
            for (int i = 0; i < plugIn.getParameterCount(); ++i) {
                char text[32];
                plugIn.getParameterName(i, text);
                plugIn.getParameterDisplay(i, text);
            }
            stage("processing audio");
            processSine(plugIn, 8);
            stage("setting its parameters");
            setPattern(plugIn, 0.2f);
            stage("writing and loading an FXP");
            Bytes fxp = createFXP(plugIn);
            plugIn.loadFXPOrFXB(fxp.size(), fxp.data());
            stage("writing and loading an FXB");
            Bytes fxb = createFXB(plugIn);
            plugIn.loadFXPOrFXB(fxb.size(), fxb.data());
            stage("closing");
        } catch (...) {
            // The tests report it themselves.
        }
        _exit(0);
    }
    close(stages[1]);
    std::string last, current;
    char c;
    while (read(stages[0], &c, 1) == 1) {
        if (c == '\0') {
            last = current;
            current.clear();
        } else {
            current += c;
        }
    }
    close(stages[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child)
        return "";
    if (WIFSIGNALED(status))
        return std::string("it crashed (") + strsignal(WTERMSIG(status)) + ") while " + last;
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        return "it ended the process (status " + std::to_string(WEXITSTATUS(status)) + ") while " + last;
    return "";
}

// Every installed subject is probed once, before any of them is loaded into
// this process: a fork next to a loaded effect's threads is no fair trial.
const std::string& probeResult(const Subject& subject)
{
    static const std::map<std::string, std::string> results = [] {
        std::map<std::string, std::string> r;
        setTandemLogSink(quiet, nullptr);
        for (const Subject& s : subjects) {
            std::error_code ec;
            r[s.testName] = fs::exists(s.path, ec) ? probe(s) : "";
        }
        return r;
    }();
    return results.at(subject.testName);
}

void PrintTo(const Subject& subject, std::ostream* out) { *out << subject.testName; }

class ThirdPartyEffect : public ::testing::TestWithParam<Subject> {
protected:
    void SetUp() override
    {
        const Subject& s = GetParam();
        setTandemLogSink(quiet, nullptr);
        std::error_code ec;
        if (!fs::exists(s.path, ec))
            GTEST_SKIP() << s.testName << " (" << s.maker << ") is not installed: no " << s.path
                         << "; scripts/deps.sh installs " << s.package;
        const std::string& crash = probeResult(s);
        if (!crash.empty())
            GTEST_SKIP() << s.testName << " (" << s.maker << ", " << s.path << ") is skipped: " << crash;
        try {
            loaded = std::make_unique<LoadedEffect>(s.path, sampleRate, blockSize);
        } catch (const ToolError& e) {
            GTEST_SKIP() << s.testName << " (" << s.maker << ") does not open: " << e.what();
        }
    }
    void TearDown() override
    {
        loaded.reset();
        setTandemLogSink(nullptr, nullptr);
    }

    VSTPlugIn& plugIn() { return loaded->plugIn(); }

    std::unique_ptr<LoadedEffect> loaded;
};

TEST_P(ThirdPartyEffect, DescribesItselfAndEveryParameter)
{
    VSTPlugIn& p = plugIn();
    const std::string name = effectText(p, effGetEffectName);
    const std::string vendor = effectText(p, effGetVendorString);
    EXPECT_FALSE(name.empty());
    EXPECT_NE(p.getEffect()->uniqueID, 0);
    EXPECT_TRUE(p.canProcessReplacing());
    EXPECT_GT(p.getOutputCount(), 0);
    ASSERT_GT(p.getParameterCount(), 0);
    for (int i = 0; i < p.getParameterCount(); ++i) {
        // Room for the 24 characters and the terminator, and a guard beyond.
        char paramName[32], display[32];
        std::memset(paramName, 0x55, sizeof paramName);
        std::memset(display, 0x55, sizeof display);
        p.getParameterName(i, paramName);
        p.getParameterDisplay(i, display);
        EXPECT_LE(std::strlen(paramName), 24u) << i;
        EXPECT_LE(std::strlen(display), 24u) << i;
        EXPECT_EQ(paramName[25], 0x55) << "name " << i << " written past its 25 bytes";
        EXPECT_EQ(display[25], 0x55) << "display " << i << " written past its 25 bytes";
        EXPECT_NE(paramName[0], '\0') << "parameter " << i << " has no name";
        EXPECT_NE(display[0], '\0') << "parameter " << i << " has no display text";
        const float value = p.getParameter(i);
        EXPECT_GE(value, 0.0f) << i;
        EXPECT_LE(value, 1.0f) << i;
    }
    std::printf("hosted %s by %s (%s): %d parameters, %d programs, %d in, %d out%s\n", name.c_str(),
                vendor.c_str(), GetParam().path, p.getParameterCount(), p.getProgramCount(),
                p.getInputCount(), p.getOutputCount(), p.hasProgramChunks() ? ", chunks" : "");
}

TEST_P(ThirdPartyEffect, ProcessesASineIntoFiniteSoundOnEveryOutput)
{
    VSTPlugIn& p = plugIn();
    const std::vector<float> out = processSine(p, 8);
    ASSERT_EQ(out.size(), size_t(p.getOutputCount()) * (7 * blockSize + blockSize / 2 + 3));
    float peak = 0.0f;
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_TRUE(std::isfinite(out[i])) << "sample " << i;
        peak = std::max(peak, std::fabs(out[i]));
    }
    // Each subject passes a sine at its defaults (a compressor, an EQ, a reverb's dry half).
    EXPECT_GT(peak, 0.01f);
    EXPECT_LT(peak, 4.0f);
    EXPECT_FALSE(p.isResumed());
}

// The state a record restores: the values and display texts the effect
// reports once the record is made. A chunk effect may settle its values only
// as it stores them (LSP rounds enumerations in its chunk, not before), so
// its reference is the state after loading its own record once; the display
// texts must survive either way.
struct State {
    std::vector<float> values;
    std::vector<std::string> texts;
};

State stateOf(VSTPlugIn& p) { return {reportedValues(p), displayTexts(p)}; }

// Scrambles the effect, loads the record and returns what it reports then.
State reload(VSTPlugIn& p, const Bytes& record, const State& reference)
{
    setPattern(p, 0.65f);
    EXPECT_NE(reportedValues(p), reference.values) << "the scramble changes nothing to restore";
    EXPECT_NO_THROW(p.loadFXPOrFXB(record.size(), record.data()));
    return stateOf(p);
}

TEST_P(ThirdPartyEffect, ProgramSurvivesAnFXPRoundTrip)
{
    VSTPlugIn& p = plugIn();
    const int n = p.getParameterCount();
    setPattern(p, 0.2f);
    const State before = stateOf(p);
    const Bytes fxp = createFXP(p);

    ASSERT_GE(fxp.size(), 60u);
    EXPECT_EQ(fourCC(fxp, 0), "CcnK");
    EXPECT_EQ(beWord(fxp, 4), fxp.size() - 8);
    EXPECT_EQ(beWord(fxp, 16), uint32_t(p.getEffect()->uniqueID));
    EXPECT_EQ(beWord(fxp, 24), uint32_t(n));
    State reference = before;
    if (p.hasProgramChunks()) {
        EXPECT_EQ(fourCC(fxp, 8), "FPCh");
        EXPECT_EQ(fxp.size(), 60 + beWord(fxp, 56));
        ASSERT_NO_THROW(p.loadFXPOrFXB(fxp.size(), fxp.data()));
        reference = stateOf(p);
        EXPECT_EQ(reference.texts, before.texts);
    } else {
        EXPECT_EQ(fourCC(fxp, 8), "FxCk");
        ASSERT_EQ(fxp.size(), 56 + 4 * size_t(n));
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(beFloat(fxp, 56 + 4 * i), before.values[i]) << "parameter " << i;
    }
    std::printf("%s: FXP %zu bytes (%s)\n", GetParam().testName, fxp.size(), fourCC(fxp, 8).c_str());

    const State after = reload(p, fxp, reference);
    EXPECT_EQ(after.texts, before.texts);
    EXPECT_EQ(after.values, reference.values);
}

TEST_P(ThirdPartyEffect, BankSurvivesAnFXBRoundTrip)
{
    VSTPlugIn& p = plugIn();
    const int n = p.getParameterCount();
    setPattern(p, 0.2f);
    const Bytes fxb = createFXB(p);
    // Read after the bank: writing it visits every program, and an effect
    // may load a program's own values when it is chosen.
    const State before = stateOf(p);

    ASSERT_GE(fxb.size(), 156u);
    EXPECT_EQ(fourCC(fxb, 0), "CcnK");
    EXPECT_EQ(beWord(fxb, 4), fxb.size() - 8);
    EXPECT_EQ(beWord(fxb, 16), uint32_t(p.getEffect()->uniqueID));
    EXPECT_EQ(beWord(fxb, 24), uint32_t(p.getProgramCount()));
    State reference = before;
    if (p.hasProgramChunks()) {
        ASSERT_GE(fxb.size(), 160u);
        EXPECT_EQ(fourCC(fxb, 8), "FBCh");
        EXPECT_EQ(fxb.size(), 160 + beWord(fxb, 156));
        ASSERT_NO_THROW(p.loadFXPOrFXB(fxb.size(), fxb.data()));
        reference = stateOf(p);
        EXPECT_EQ(reference.texts, before.texts);
    } else {
        EXPECT_EQ(fourCC(fxb, 8), "FxBk");
        const size_t program = 56 + 4 * size_t(n);
        ASSERT_EQ(fxb.size(), 156 + size_t(p.getProgramCount()) * program);
        const size_t current = 156 + size_t(p.getCurrentProgram()) * program;
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(beFloat(fxb, current + 56 + 4 * i), before.values[i]) << "parameter " << i;
    }
    std::printf("%s: FXB %zu bytes (%s)\n", GetParam().testName, fxb.size(), fourCC(fxb, 8).c_str());

    const State after = reload(p, fxb, reference);
    EXPECT_EQ(after.texts, before.texts);
    EXPECT_EQ(after.values, reference.values);
}

// Effects of different makers, and two built on the same framework, work side
// by side in one process, and each refuses the next one's presets and stays
// as it was.
TEST(ThirdPartyEffects, SideBySideEachRefusesAnothersPreset)
{
    setTandemLogSink(quiet, nullptr);
    std::vector<std::unique_ptr<LoadedEffect>> effects;
    for (const Subject& s : subjects) {
        std::error_code ec;
        if (!fs::exists(s.path, ec) || !probeResult(s).empty())
            continue;
        try {
            effects.push_back(std::make_unique<LoadedEffect>(s.path, sampleRate, blockSize));
        } catch (const ToolError&) {
        }
    }
    if (effects.size() < 2) {
        setTandemLogSink(nullptr, nullptr);
        GTEST_SKIP() << "fewer than two of the third-party effects open here; see the other tests' messages";
    }

    for (auto& effect : effects)
        setPattern(effect->plugIn(), 0.2f);
    for (auto& effect : effects) {
        for (float sample : processSine(effect->plugIn(), 2))
            ASSERT_TRUE(std::isfinite(sample));
    }
    for (size_t i = 0; i < effects.size(); ++i) {
        VSTPlugIn& from = effects[i]->plugIn();
        VSTPlugIn& to = effects[(i + 1) % effects.size()]->plugIn();
        ASSERT_NE(from.getEffect()->uniqueID, to.getEffect()->uniqueID);
        const Bytes fxp = createFXP(from);
        const Bytes fxb = createFXB(from);
        const State before = stateOf(to);
        EXPECT_THROW(to.loadFXPOrFXB(fxp.size(), fxp.data()), FormatException);
        EXPECT_THROW(to.loadFXPOrFXB(fxb.size(), fxb.data()), FormatException);
        const State after = stateOf(to);
        EXPECT_EQ(after.values, before.values);
        EXPECT_EQ(after.texts, before.texts);
    }
    effects.clear();
    setTandemLogSink(nullptr, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Debian, ThirdPartyEffect, ::testing::ValuesIn(subjects),
                         [](const ::testing::TestParamInfo<Subject>& info) {
                             return std::string(info.param.testName);
                         });

} // namespace

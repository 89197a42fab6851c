#include "HostingTestSupport.h"

#include "FakeEffect.h"
#include "hosting/TandemException.h"
#include "hosting/VSTTimeInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

namespace {

FakeEffect* fakeOf(VSTPlugIn& plugIn) { return static_cast<FakeEffect*>(plugIn.getEffect()->object); }

// Calls the host callback the way the effect does: through the function it was given.
VstIntPtr callHost(VSTPlugIn& plugIn, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f)
{
    FakeEffect* f = fakeOf(plugIn);
    return f->master(&f->effect, opcode, index, value, ptr, opt);
}

std::string openFailure(const char* name)
{
    TestHost host;
    LogCapture log;
    auto plugIn = makeProxy(host, name);
    try {
        plugIn->open();
    } catch (const TandemException& e) {
        EXPECT_EQ(VSTPlugIn::tempPlugInPointer, nullptr);
        EXPECT_EQ(plugIn->getEffect(), nullptr);
        return e.what();
    }
    return "opened";
}

} // namespace

TEST(VSTPlugInOpen, EntersTheEffectAndAnswersItsEarlyCallbacks)
{
    TestHost host;
    LogCapture log;
    auto plugIn = makeProxy(host, "FakeEffect", 48000.0f, 256);
    EXPECT_FALSE(plugIn->isOpen());
    plugIn->open();
    ASSERT_TRUE(plugIn->isOpen());
    FakeEffect* f = fakeOf(*plugIn);
    EXPECT_STREQ(f->entryName, "VSTPluginMain");
    EXPECT_EQ(f->versionAnswer, 2300);
    // Asked with its own record before the proxy had it.
    EXPECT_EQ(f->currentIdAnswer, vstFourCC('F', 'a', 'k', 'e'));
    EXPECT_EQ(f->effect.reserved1, reinterpret_cast<VstIntPtr>(plugIn.get()));
    EXPECT_EQ(VSTPlugIn::tempPlugInPointer, nullptr);
    // Rate and block size are only remembered while opening: effOpen comes alone.
    EXPECT_EQ(f->count(effOpen), 1);
    EXPECT_EQ(f->count(effSetSampleRate), 0);
    EXPECT_EQ(f->count(effSetBlockSize), 0);
    EXPECT_TRUE(log.contains("VST open\n"));
    EXPECT_TRUE(log.contains("VST setSampleRate: 48000.000000\n"));
    EXPECT_TRUE(log.contains("VST setBlockSize: 256\n"));

    plugIn->setSampleRate(96000.0f);
    plugIn->setBlockSize(64);
    EXPECT_EQ(f->lastSampleRate, 96000.0f);
    EXPECT_EQ(f->lastBlockSize, 64);
    plugIn->resume();
    EXPECT_TRUE(plugIn->isResumed());
    plugIn->suspend();
    EXPECT_FALSE(plugIn->isResumed());
    EXPECT_EQ(f->count(effMainsChanged), 2);
    EXPECT_TRUE(log.contains("VST resume\n"));
    EXPECT_TRUE(log.contains("VST suspend\n"));
}

TEST(VSTPlugInOpen, EntryPointsAreTriedInOrderAndFailuresAreNamed)
{
    TestHost host;
    {
        auto both = makeProxy(host, "FakeBoth");
        both->open();
        EXPECT_STREQ(fakeOf(*both)->entryName, "main_macho");
    }
    {
        auto legacy = makeProxy(host, "FakeLegacyMain");
        legacy->open();
        EXPECT_STREQ(fakeOf(*legacy)->entryName, "main");
    }
    EXPECT_EQ(openFailure("FakeNoEntry"),
              "Could not locate function in bundle executable (\"main_macho\" or \"VSTPluginMain\")");
    EXPECT_EQ(openFailure("FakeBadMagic"), "VST main() doesn't return object AEffect*");
    EXPECT_EQ(openFailure("NoSuchBundle"), "Could not load VST bundle executable");
}

TEST(VSTPlugInOpen, DestructorClosesEditorThenEffectAndUnloadsTheBundle)
{
    static std::vector<int> opcodesAtClose;
    opcodesAtClose.clear();
    TestHost host;
    LogCapture log;
    {
        auto plugIn = makeProxy(host, "FakeEffect");
        plugIn->open();
        fakeOf(*plugIn)->beforeDelete = [](const FakeEffect* f) {
            opcodesAtClose.assign(f->opcodes, f->opcodes + f->opcodeCount);
        };
        plugIn->openEditor(nullptr);
        log.lines.clear();
    }
    ASSERT_GE(opcodesAtClose.size(), 2u);
    EXPECT_EQ(opcodesAtClose[opcodesAtClose.size() - 2], effEditClose);
    EXPECT_EQ(opcodesAtClose.back(), effClose);
    EXPECT_EQ(std::count(opcodesAtClose.begin(), opcodesAtClose.end(), effMainsChanged), 0)
        << "the effect is not suspended first";
    EXPECT_TRUE(log.contains("Bundle retain count before releasing: 1\n"));
    EXPECT_TRUE(log.contains("Unloaded bundle executable\n"));
}

TEST(VSTPlugInCallback, AnswersEachHostCallbackOpcode)
{
    TestHost host;
    LogCapture log;
    auto plugIn = makeProxy(host, "FakeEffect", 44099.6f, 333);
    plugIn->open();

    EXPECT_EQ(callHost(*plugIn, audioMasterVersion), 2300);
    EXPECT_EQ(callHost(*plugIn, audioMasterCurrentId), vstFourCC('F', 'a', 'k', 'e'));
    EXPECT_EQ(callHost(*plugIn, audioMasterGetSampleRate), 44100);
    EXPECT_EQ(callHost(*plugIn, audioMasterGetBlockSize), 333);
    EXPECT_EQ(callHost(*plugIn, audioMasterGetParameterQuantization), 1);
    EXPECT_EQ(callHost(*plugIn, audioMasterNeedIdle), 1);
    EXPECT_EQ(callHost(*plugIn, audioMasterGetCurrentProcessLevel), 0);
    EXPECT_EQ(callHost(*plugIn, audioMasterGetVendorVersion), 42);

    // Pins count as connected; the answer is 0 for "connected".
    EXPECT_EQ(callHost(*plugIn, audioMasterPinConnected, 3, 1), 0);
    EXPECT_TRUE(log.contains("VST audioMasterPinConnected: i/o=out, pin=3\n"));
    host.pinConnected = false;
    EXPECT_EQ(callHost(*plugIn, audioMasterPinConnected, 0, 0), 1);
    EXPECT_TRUE(log.contains("VST audioMasterPinConnected: i/o=in, pin=0\n"));

    EXPECT_FALSE(plugIn->wantsMidi());
    EXPECT_EQ(callHost(*plugIn, audioMasterWantMidi), 1);
    EXPECT_TRUE(plugIn->wantsMidi());

    EXPECT_EQ(callHost(*plugIn, audioMasterGetTime, 0, 0x600),
              reinterpret_cast<VstIntPtr>(&host.timeInfo));

    char text[64] = {};
    EXPECT_EQ(callHost(*plugIn, audioMasterGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Test Vendor");
    EXPECT_EQ(callHost(*plugIn, audioMasterGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Test Host");

    char sizeWindow[] = "sizeWindow";
    char realtime[] = "sendVstMidiEventFlagIsRealtime";
    EXPECT_EQ(callHost(*plugIn, audioMasterCanDo, 0, 0, sizeWindow), 1);
    EXPECT_EQ(callHost(*plugIn, audioMasterCanDo, 0, 0, realtime), 0);
    EXPECT_TRUE(log.contains("VST audioMasterCanDo: sendVstMidiEventFlagIsRealtime\n"));

    EXPECT_EQ(callHost(*plugIn, audioMasterGetLanguage), 1);
    EXPECT_TRUE(log.contains("VST audioMasterGetLanguage (not supported)\n"));

    host.calls.clear();
    EXPECT_EQ(callHost(*plugIn, audioMasterAutomate, 2, 0, nullptr, 0.75f), 0);
    EXPECT_EQ(callHost(*plugIn, audioMasterBeginEdit, 1), 1);
    EXPECT_EQ(callHost(*plugIn, audioMasterEndEdit, 1), 1);
    EXPECT_EQ(callHost(*plugIn, audioMasterIdle), 0);
    EXPECT_EQ(callHost(*plugIn, audioMasterUpdateDisplay), 1);
    EXPECT_EQ(callHost(*plugIn, audioMasterSizeWindow, 640, 480), 1);
    ASSERT_EQ(host.calls.size(), 6u);
    EXPECT_EQ(host.calls[0].what, "automate");
    EXPECT_EQ(host.calls[0].a, 2);
    EXPECT_EQ(host.calls[0].value, 0.75f);
    EXPECT_EQ(host.calls[1].what, "beginEdit");
    EXPECT_EQ(host.calls[2].what, "endEdit");
    EXPECT_EQ(host.calls[3].what, "idle");
    EXPECT_EQ(host.calls[4].what, "updateDisplay");
    EXPECT_EQ(host.calls[5].what, "resize");
    EXPECT_EQ(host.calls[5].a, 640);
    EXPECT_EQ(host.calls[5].value, 480.0f);
    EXPECT_TRUE(log.contains("VST audioMasterSizeWindow: width=640, height=480\n"));
    EXPECT_TRUE(log.contains("VST audioMasterBeginEdit: 1\n"));
    EXPECT_TRUE(log.contains("VST audioMasterEndEdit: 1\n"));
}

TEST(VSTPlugInCallback, UnsupportedAndUnknownOpcodesAnswerZeroWithTheirNames)
{
    TestHost host;
    LogCapture log;
    auto plugIn = makeProxy(host, "FakeEffect");
    plugIn->open();
    const struct {
        VstInt32 opcode;
        const char* name;
    } unsupported[] = {
        {8, "audioMasterProcessEvents"}, {9, "audioMasterSetTime"}, {10, "audioMasterTempoAt"},
        {11, "audioMasterGetNumAutomatableParameters"}, {13, "audioMasterIOChanged"},
        {18, "audioMasterGetInputLatency"}, {19, "audioMasterGetOutputLatency"},
        {20, "audioMasterGetPreviousPlug"}, {21, "audioMasterGetNextPlug"},
        {22, "audioMasterWillReplaceOrAccumulate"}, {24, "audioMasterGetAutomationState"},
        {25, "audioMasterOfflineStart"}, {26, "audioMasterOfflineRead"},
        {27, "audioMasterOfflineWrite"}, {28, "audioMasterOfflineGetCurrentPass"},
        {29, "audioMasterOfflineGetCurrentMetaPass"}, {30, "audioMasterSetOutputSampleRate"},
        {31, "audioMasterGetSpeakerArrangement"}, {35, "audioMasterVendorSpecific"},
        {36, "audioMasterSetIcon"}, {39, "audioMasterOpenWindow"},
        {40, "audioMasterCloseWindow"}, {41, "audioMasterGetDirectory"},
        {45, "audioMasterOpenFileSelector"}, {46, "audioMasterCloseFileSelector"},
        {47, "audioMasterEditFile"}, {48, "audioMasterGetChunkFile"},
        {49, "audioMasterGetInputSpeakerArrangement"},
    };
    for (const auto& row : unsupported) {
        log.lines.clear();
        EXPECT_EQ(callHost(*plugIn, row.opcode, 1, 1), 0) << row.name;
        EXPECT_EQ(log.lines, std::vector<std::string>{std::string("VST ") + row.name +
                                                      " (not supported)\n"});
    }
    for (VstInt32 opcode : {5, 50, 1000, -1}) {
        log.lines.clear();
        EXPECT_EQ(callHost(*plugIn, opcode), 0);
        EXPECT_EQ(log.lines, std::vector<std::string>{"VST unknown callback opcode: " +
                                                      std::to_string(opcode) + "\n"});
    }
}

TEST(VSTPlugInCallback, ExceptionsAndStrayCallsAnswerZero)
{
    struct ThrowingHost : TestHost {
        void idle(VSTPlugIn*) override { throw std::runtime_error("host failure"); }
        int getVersion(VSTPlugIn*) override { throw 7; }
    } host;
    LogCapture log;
    auto plugIn = makeProxy(host, "FakeEffect");
    plugIn->open();
    EXPECT_EQ(callHost(*plugIn, audioMasterIdle), 0);
    EXPECT_EQ(callHost(*plugIn, audioMasterGetVendorVersion), 0);
    // Outside any open there is no proxy to route a record-less call to.
    EXPECT_EQ(VSTPlugIn::staticAudioMasterCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0), 0);
}

TEST(VSTPlugInCalls, TextsAreCutTo24CharactersAndMissingNamesLeaveTextAlone)
{
    TestHost host;
    LogCapture log;
    auto plugIn = makeProxy(host, "FakeEffect");
    plugIn->open();
    char text[25];
    plugIn->getParameterName(1, text);
    EXPECT_STREQ(text, "A parameter name longer ");
    plugIn->getParameterName(0, text);
    EXPECT_STREQ(text, "Gain");
    plugIn->getParameterLabel(0, text);
    EXPECT_STREQ(text, "dB");
    plugIn->getParameterDisplay(0, text);
    EXPECT_STREQ(text, "5.00");
    EXPECT_TRUE(log.contains("VST getParameterDisplay: 0\n"));

    EXPECT_TRUE(plugIn->getProgramName(0, text));
    EXPECT_STREQ(text, "First");
    std::strcpy(text, "untouched");
    EXPECT_FALSE(plugIn->getProgramName(1, text));
    EXPECT_STREQ(text, "untouched");

    plugIn->setCurrentProgramName("Renamed");
    plugIn->getCurrentProgramName(text);
    EXPECT_STREQ(text, "Renamed");
    EXPECT_TRUE(log.contains("VST setCurrentProgramName: Renamed\n"));

    plugIn->setCurrentProgram(1);
    EXPECT_EQ(plugIn->getCurrentProgram(), 1);
    fakeOf(*plugIn)->currentProgram = 9;
    EXPECT_EQ(plugIn->getCurrentProgram(), 2) << "limited to the program count";

    EXPECT_TRUE(plugIn->setParameterFromString(0, nullptr) == false);
    EXPECT_TRUE(log.contains("VST setParameterFromString: 0=<null>\n"));
    EXPECT_TRUE(plugIn->setBypass(true));
    EXPECT_TRUE(log.contains("VST setBypass: on\n"));
    EXPECT_EQ(plugIn->getVersion(), 2400);
    EXPECT_EQ(plugIn->vendorSpecific(0x73486921, 0, nullptr, 0.0f), 0x73486921);
}

TEST(VSTPlugInCalls, ExceptionsFromTheEffectNeverLeaveTheProxy)
{
    TestHost host;
    LogCapture log;
    auto plugIn = makeProxy(host, "FakeEffect");
    plugIn->open();
    FakeEffect* f = fakeOf(*plugIn);
    char text[25] = "old";
    f->throwOnOpcode = effGetParamName;
    EXPECT_NO_THROW(plugIn->getParameterName(0, text));
    EXPECT_STREQ(text, "");
    f->throwOnOpcode = effGetProgram;
    EXPECT_EQ(plugIn->getCurrentProgram(), 0);
    f->throwOnOpcode = effMainsChanged;
    EXPECT_NO_THROW(plugIn->resume());
    f->throwOnOpcode = effVendorSpecific;
    EXPECT_EQ(plugIn->dispatch(effVendorSpecific, 5, 0, nullptr, 0.0f), 0);
    f->throwOnOpcode = -1;
    f->throwOnGetParameter = true;
    f->throwOnSetParameter = true;
    EXPECT_EQ(plugIn->getParameter(0), 0.0f);
    EXPECT_NO_THROW(plugIn->setParameter(0, 1.0f));
}

TEST(VSTPlugInCalls, EditorOpenFailureAndDimensions)
{
    TestHost host;
    LogCapture log;
    auto plugIn = makeProxy(host, "FakeEffect");
    plugIn->open();
    FakeEffect* f = fakeOf(*plugIn);
    f->hasRect = true;
    int width = -1, height = -1;
    EXPECT_TRUE(plugIn->getEditorDimensions(width, height));
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 100);
    f->hasRect = false;
    EXPECT_FALSE(plugIn->getEditorDimensions(width, height));
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);

    f->editOpenResult = 0;
    try {
        plugIn->openEditor(nullptr);
        FAIL() << "a refused editor must throw";
    } catch (const TandemException& e) {
        EXPECT_STREQ(e.what(), "VST could not open editor");
    }
    EXPECT_FALSE(plugIn->isEditorOpen()) << "an editor that failed to open is not idled";
    plugIn->idle();
    EXPECT_EQ(f->count(effIdle), 1);
    EXPECT_EQ(f->count(effEditIdle), 0);
    f->editOpenResult = 1;
    plugIn->openEditor(nullptr);
    EXPECT_TRUE(plugIn->isEditorOpen());
    plugIn->idle();
    EXPECT_EQ(f->count(effEditIdle), 1);
    plugIn->closeEditor();
    EXPECT_FALSE(plugIn->isEditorOpen());
    plugIn->idle();
    EXPECT_EQ(f->count(effEditIdle), 1);
}

TEST(VSTPlugInCalls, ProcessesThroughTheEffect)
{
    TestHost host;
    auto plugIn = makeProxy(host, "FakeEffect");
    plugIn->open();
    EXPECT_TRUE(plugIn->canProcessReplacing());
    EXPECT_FALSE(plugIn->hasProgramChunks());
    EXPECT_EQ(plugIn->getParameterCount(), 3);
    EXPECT_EQ(plugIn->getProgramCount(), 2);
    float left[4] = {0.1f, 0.2f, 0.3f, 0.4f}, right[4] = {1, 2, 3, 4}, outL[4], outR[4];
    float* in[] = {left, right};
    float* out[] = {outL, outR};
    plugIn->setParameter(0, 1.0f);
    plugIn->processReplacing(in, out, 4);
    EXPECT_FLOAT_EQ(outL[3], 0.8f);
    EXPECT_FLOAT_EQ(outR[0], 2.0f);
    // The fake has no accumulating entry: the outputs stay as they are.
    plugIn->processAccumulating(in, out, 4);
    EXPECT_FLOAT_EQ(outL[3], 0.8f);
}

TEST(VSTTimeInfo, FillsWhatEachHostProcedureReports)
{
    VstTimeInfo info{};
    info.tempo = 99.0;
    updateVSTTimeInfo(info, 1024.0, 48000.0, VSTTimeInfoProcs{});
    EXPECT_EQ(info.samplePos, 1024.0);
    EXPECT_EQ(info.sampleRate, 48000.0);
    EXPECT_EQ(info.flags, 0);
    EXPECT_EQ(info.tempo, 99.0) << "fields without a report keep their values";

    VSTTimeInfoProcs procs;
    procs.beatAndTempoProc = [](void*, Float64* beat, Float64* tempo) -> OSStatus {
        *beat = 3.5;
        *tempo = 140.0;
        return noErr;
    };
    procs.musicalTimeLocationProc = [](void*, UInt32*, Float32* numerator, UInt32* denominator,
                                       Float64* downBeat) -> OSStatus {
        *numerator = 7.9f;
        *denominator = 8;
        *downBeat = 2.0;
        return noErr;
    };
    procs.transportStateProc = [](void*, Boolean* playing, Boolean* changed, Float64* sample,
                                  Boolean* cycling, Float64* start, Float64* end) -> OSStatus {
        *playing = 1;
        *changed = 0;
        *sample = 5000.0;
        *cycling = 0;
        *start = 1.0;
        *end = 9.0;
        return noErr;
    };
    updateVSTTimeInfo(info, 1024.0, 48000.0, procs);
    EXPECT_EQ(info.ppqPos, 3.5);
    EXPECT_EQ(info.tempo, 140.0);
    EXPECT_EQ(info.timeSigNumerator, 7);
    EXPECT_EQ(info.timeSigDenominator, 8);
    EXPECT_EQ(info.barStartPos, 2.0);
    EXPECT_EQ(info.samplePos, 5000.0);
    EXPECT_EQ(info.cycleStartPos, 1.0);
    EXPECT_EQ(info.cycleEndPos, 9.0);
    EXPECT_EQ(info.flags, kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid |
                              kVstTransportPlaying | kVstCyclePosValid);

    procs.beatAndTempoProc = [](void*, Float64* beat, Float64*) -> OSStatus {
        *beat = 100.0;
        return -1;
    };
    procs.musicalTimeLocationProc = nullptr;
    procs.transportStateProc = nullptr;
    updateVSTTimeInfo(info, 2048.0, 48000.0, procs);
    EXPECT_EQ(info.ppqPos, 3.5) << "a failed procedure leaves its fields";
    EXPECT_EQ(info.flags, 0);
    EXPECT_EQ(info.samplePos, 2048.0);
}

TEST(VSTPlugInGravel, HostsTheBuiltBundle)
{
    if (!std::filesystem::exists(GRAVEL_BUNDLE_DIR))
        GTEST_SKIP() << "Gravel.vst is not built";
    TestHost host;
    LogCapture log;
    CFBundleRef bundle = createGravelBundle();
    ASSERT_NE(bundle, nullptr);
    auto plugIn = std::make_unique<VSTPlugIn>(host, bundle, 44100.0f, 256);
    CFRelease(bundle);
    plugIn->open();
    EXPECT_EQ(plugIn->getEffect()->uniqueID, vstFourCC('G', 'R', 'V', '7'));
    EXPECT_EQ(plugIn->getParameterCount(), 11);
    EXPECT_EQ(plugIn->getInputCount(), 2);
    EXPECT_TRUE(plugIn->canProcessReplacing());
    char text[25];
    plugIn->getParameterName(0, text);
    EXPECT_STREQ(text, "Input Level");
    plugIn->getParameterDisplay(10, text);
    EXPECT_STREQ(text, "2");

    plugIn->setSampleRate(44100.0f);
    plugIn->resume();
    std::vector<float> left(256), right(256), outL(256), outR(256);
    for (size_t i = 0; i < left.size(); ++i)
        left[i] = right[i] = 0.5f * std::sin(0.05f * float(i));
    float* in[] = {left.data(), right.data()};
    float* out[] = {outL.data(), outR.data()};
    plugIn->processReplacing(in, out, 256);
    float energy = 0;
    for (float v : outL)
        energy += v * v;
    EXPECT_GT(energy, 0.0f);
    plugIn->suspend();
}

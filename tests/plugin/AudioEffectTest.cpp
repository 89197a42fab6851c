// The effect base classes: record set-up, the dispatcher table, the calls
// into the host, the speaker helpers and the text formatters.

#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "HostRecorder.h"
#include "plugin/AudioEffectX.h"

namespace {

int gDestroyed = 0;

class TestEffect : public AudioEffectX {
public:
    explicit TestEffect(audioMasterCallback host, VstInt32 programs = 1)
        : AudioEffectX(host, programs, 3)
    {
    }
    ~TestEffect() override { ++gDestroyed; }
    void processReplacing(float**, float**, VstInt32) override {}
    void suspend() override { ++suspends; }
    void resume() override
    {
        ++resumes;
        AudioEffectX::resume();
    }
    void setParameter(VstInt32 index, float value) override
    {
        lastIndex = index;
        lastValue = value;
        order.push_back("setParameter");
    }
    VstInt32 canDo(char* text) override { return std::strcmp(text, canDoAnswer) == 0 ? 1 : 0; }

    int suspends = 0;
    int resumes = 0;
    VstInt32 lastIndex = -1;
    float lastValue = -1.0f;
    std::vector<std::string> order;
    const char* canDoAnswer = "";
    using AudioEffect::editor; // let the tests inspect ownership
};

class FakeEditor : public AEffEditor {
public:
    explicit FakeEditor(AudioEffect* effect, bool* destroyed) : AEffEditor(effect), destroyed(destroyed)
    {
    }
    ~FakeEditor() override { *destroyed = true; }
    bool getRect(ERect** r) override
    {
        *r = &rect;
        return true;
    }
    bool open(void* parent) override
    {
        AEffEditor::open(parent);
        return true;
    }
    void idle() override { ++idles; }
    bool onKeyDown(VstKeyCode& key) override
    {
        lastKey = key;
        return true;
    }
    bool onKeyUp(VstKeyCode& key) override
    {
        lastKey = key;
        return false;
    }
    bool setKnobMode(VstInt32 mode) override
    {
        knobMode = mode;
        return true;
    }

    ERect rect{0, 0, 300, 400};
    int idles = 0;
    VstKeyCode lastKey{};
    VstInt32 knobMode = -1;
    bool* destroyed;
};

VstIntPtr dispatch(AudioEffect& effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f)
{
    AEffect* e = effect.getAEffect();
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

} // namespace

// ---- the record ----

TEST(AudioEffectRecord, ConstructorFillsTheRecordAndZeroesTheRest)
{
    TestEffect effect(nullptr);
    const AEffect* e = effect.getAEffect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numParams, 3);
    EXPECT_EQ(e->numInputs, 1);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, effFlagsCanReplacing);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->object, &effect);
    EXPECT_EQ(e->uniqueID, vstFourCC('N', 'o', 'E', 'f'));
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->reserved1, 0);
    EXPECT_EQ(e->reserved2, 0);
    EXPECT_EQ(e->user, nullptr);
    EXPECT_EQ(e->initialDelay, 0);
    for (char c : e->future)
        EXPECT_EQ(c, 0);
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    EXPECT_EQ(effect.getProgram(), 0);
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->processDoubleReplacing, nullptr);
}

TEST(AudioEffectRecord, FlagSettersSetAndClearTheirBits)
{
    TestEffect effect(nullptr);
    const AEffect* e = effect.getAEffect();
    const std::pair<std::function<void(bool)>, VstInt32> setters[] = {
        {[&](bool s) { effect.__hasClipDeprecated(s); }, 0x2},
        {[&](bool s) { effect.__hasVuDeprecated(s); }, 0x4},
        {[&](bool s) { effect.__canMonoDeprecated(s); }, 0x8},
        {[&](bool s) { effect.canProcessReplacing(s); }, 0x10},
        {[&](bool s) { effect.programsAreChunks(s); }, 0x20},
        {[&](bool s) { effect.isSynth(s); }, 0x100},
        {[&](bool s) { effect.noTail(s); }, 0x200},
        {[&](bool s) { effect.__wantAsyncOperationDeprecated(s); }, 0x400},
        {[&](bool s) { effect.__hasExternalBufferDeprecated(s); }, 0x800},
        {[&](bool s) { effect.canDoubleReplacing(s); }, 0x1000},
    };
    for (const auto& [set, bitValue] : setters) {
        set(true);
        EXPECT_EQ(e->flags & bitValue, bitValue) << bitValue;
        set(false);
        EXPECT_EQ(e->flags & bitValue, 0) << bitValue;
    }
    effect.setInitialDelay(64);
    effect.__setRealtimeQualitiesDeprecated(3);
    effect.__setOfflineQualitiesDeprecated(4);
    EXPECT_EQ(e->initialDelay, 64);
    EXPECT_EQ(e->realQualities, 3);
    EXPECT_EQ(e->offQualities, 4);
}

TEST(AudioEffectRecord, EditorIsOwnedAndFlagged)
{
    bool destroyed = false;
    {
        TestEffect effect(nullptr);
        effect.setEditor(new FakeEditor(&effect, &destroyed));
        EXPECT_EQ(effect.getAEffect()->flags & effFlagsHasEditor, effFlagsHasEditor);
        AEffEditor* editor = effect.getEditor();
        effect.setEditor(nullptr);
        EXPECT_EQ(effect.getAEffect()->flags & effFlagsHasEditor, 0);
        effect.setEditor(editor);
    }
    EXPECT_TRUE(destroyed);
}

// ---- dispatcher ----

TEST(Dispatcher, NamedResults)
{
    TestEffect effect(nullptr);
    EXPECT_EQ(dispatch(effect, effIdentify), 0x4E764566);
    EXPECT_EQ(dispatch(effect, effGetVstVersion), 2400);
    EXPECT_EQ(dispatch(effect, effGetCurrentMidiProgram), -1);
    EXPECT_EQ(dispatch(effect, effSetTotalSampleToProcess, 0, 4096), 4096);
    EXPECT_EQ(dispatch(effect, effSetTotalSampleToProcess, 0, -7), -7);
    EXPECT_EQ(dispatch(effect, effCanBeAutomated, 2), 1);
    EXPECT_EQ(dispatch(effect, effGetPlugCategory), 0);
    effect.isSynth(true);
    EXPECT_EQ(dispatch(effect, effGetPlugCategory), 2);
}

TEST(Dispatcher, UnnamedAndUnknownOpcodesReturnZero)
{
    TestEffect effect(nullptr);
    char text[256] = "untouched";
    VstPinProperties pin{};
    for (VstInt32 opcode : {28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 9, 16, 17, 18, 20, 21,
                            80, 81, 1000, -1, -1000}) {
        EXPECT_EQ(dispatch(effect, opcode, 1, 1, text), 0) << opcode;
    }
    // The hooks' defaults.
    EXPECT_EQ(dispatch(effect, effGetInputProperties, 0, 0, &pin), 0);
    EXPECT_EQ(dispatch(effect, effGetOutputProperties, 0, 0, &pin), 0);
    EXPECT_EQ(dispatch(effect, effString2Parameter, 0, 0, text), 0);
    EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, 0, 0, text), 0);
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, text), 0);
    EXPECT_EQ(dispatch(effect, effGetTailSize), 0);
    EXPECT_EQ(dispatch(effect, effVendorSpecific, 1, 2, text, 1.0f), 0);
    EXPECT_EQ(dispatch(effect, effSetBypass, 0, 1), 0);
    EXPECT_EQ(dispatch(effect, effSetProcessPrecision, 0, 1), 0);
    for (VstInt32 opcode : {effGetEffectName, effGetVendorString, effGetProductString})
        EXPECT_EQ(dispatch(effect, opcode, 0, 0, text), 0);
    EXPECT_STREQ(text, "untouched");
}

TEST(Dispatcher, ProgramSampleRateBlockSizeAndMains)
{
    TestEffect effect(nullptr, 2);
    dispatch(effect, effSetProgram, 0, 1);
    EXPECT_EQ(dispatch(effect, effGetProgram), 1);
    dispatch(effect, effSetProgram, 0, 2); // out of range: ignored
    dispatch(effect, effSetProgram, 0, -1);
    EXPECT_EQ(dispatch(effect, effGetProgram), 1);

    dispatch(effect, effSetSampleRate, 0, 0, nullptr, 96000.0f);
    dispatch(effect, effSetBlockSize, 0, 512);
    EXPECT_EQ(effect.getSampleRate(), 96000.0f);
    EXPECT_EQ(effect.getBlockSize(), 512);

    dispatch(effect, effMainsChanged, 0, 0);
    EXPECT_EQ(effect.suspends, 1);
    dispatch(effect, effMainsChanged, 0, 1);
    dispatch(effect, effMainsChanged, 0, -5);
    EXPECT_EQ(effect.resumes, 2);
}

TEST(Dispatcher, NullTextOrRecordIsRefused)
{
    TestEffect effect(nullptr);
    bool destroyed = false;
    effect.setEditor(new FakeEditor(&effect, &destroyed));
    for (VstInt32 opcode :
         {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay,
          effGetParamName, effEditGetRect, effGetChunk, effSetChunk, effProcessEvents,
          effString2Parameter, effGetProgramNameIndexed, effGetInputProperties,
          effGetOutputProperties, effGetEffectName, effGetVendorString, effGetProductString,
          effCanDo, effGetParameterProperties, effShellGetNextPlugin, effGetSpeakerArrangement})
        EXPECT_EQ(dispatch(effect, opcode, 0, 0, nullptr), 0) << opcode;
}

TEST(Dispatcher, SpeakerArrangementQueryWritesNullToBoth)
{
    TestEffect effect(nullptr);
    VstSpeakerArrangement dummy{};
    VstSpeakerArrangement* in = &dummy;
    VstSpeakerArrangement* out = &dummy;
    EXPECT_EQ(dispatch(effect, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out),
              0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
}

TEST(Dispatcher, EditorOpcodesWithoutEditorReturnZero)
{
    TestEffect effect(nullptr);
    ERect* rect = nullptr;
    for (VstInt32 opcode : {effEditGetRect, effEditOpen, effEditClose, effEditIdle, effEditKeyDown,
                            effEditKeyUp, effSetEditKnobMode})
        EXPECT_EQ(dispatch(effect, opcode, 'a', 1, &rect, 1.0f), 0) << opcode;
    EXPECT_EQ(rect, nullptr);
}

TEST(Dispatcher, EditorOpcodesReachTheEditor)
{
    TestEffect effect(nullptr);
    bool destroyed = false;
    FakeEditor* editor = new FakeEditor(&effect, &destroyed);
    effect.setEditor(editor);

    ERect* rect = nullptr;
    EXPECT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect, &editor->rect);
    int parent = 0;
    EXPECT_EQ(dispatch(effect, effEditOpen, 0, 0, &parent), 1);
    EXPECT_TRUE(editor->isOpen());
    dispatch(effect, effEditIdle);
    EXPECT_EQ(editor->idles, 1);

    EXPECT_EQ(dispatch(effect, effEditKeyDown, 'q', 0x1234, nullptr, 258.0f), 1);
    EXPECT_EQ(editor->lastKey.character, 'q');
    EXPECT_EQ(editor->lastKey.virt, 0x34);
    EXPECT_EQ(editor->lastKey.modifier, 2); // low byte of 258
    EXPECT_EQ(dispatch(effect, effEditKeyUp, 'r', 5, nullptr, 1.0f), 0);
    EXPECT_EQ(editor->lastKey.character, 'r');

    EXPECT_EQ(dispatch(effect, effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(editor->knobMode, 2);
    EXPECT_EQ(dispatch(effect, effEditClose), 0);
    EXPECT_FALSE(editor->isOpen());
}

TEST(Dispatcher, CloseThroughTheTrampolineDeletesTheEffect)
{
    HostRecorder host;
    gDestroyed = 0;
    bool editorDestroyed = false;
    TestEffect* effect = new TestEffect(HostRecorder::callback);
    effect->setEditor(new FakeEditor(effect, &editorDestroyed));
    AEffect* e = effect->getAEffect();
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(gDestroyed, 1);
    EXPECT_TRUE(editorDestroyed);
}

TEST(Dispatcher, TrampolinesReachTheEffect)
{
    TestEffect effect(nullptr);
    AEffect* e = effect.getAEffect();
    e->setParameter(e, 2, 0.25f);
    EXPECT_EQ(effect.lastIndex, 2);
    EXPECT_EQ(effect.lastValue, 0.25f);
    EXPECT_EQ(e->getParameter(e, 2), 0.0f); // base default
}

// ---- calls into the host ----

TEST(HostCalls, AutomatedParameterIsSetThenReported)
{
    HostRecorder host;
    TestEffect effect(HostRecorder::callback);
    effect.setParameterAutomated(4, 0.75f);
    EXPECT_EQ(effect.lastIndex, 4);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(host.calls[0].index, 4);
    EXPECT_EQ(host.calls[0].opt, 0.75f);
    EXPECT_EQ(host.calls[0].effect, effect.getAEffect());
}

// Every host-call member: the opcode and arguments it sends, and its answer
// with and without a host.
TEST(HostCalls, EveryMemberSendsItsOpcodeAndIsNeutralWithoutHost)
{
    struct Row {
        const char* name;
        VstInt32 opcode;
        VstInt32 index;
        VstIntPtr value;
        bool sendsPtr;
        std::function<VstIntPtr(AudioEffectX&)> call;
        VstIntPtr withoutHost;
    };
    static char text[64];
    static int token;
    void* const p = &token;
    const Row rows[] = {
        {"getMasterVersion", 1, 0, 0, false, [](AudioEffectX& e) { return e.getMasterVersion(); }, 1},
        {"getCurrentUniqueId", 2, 0, 0, false, [](AudioEffectX& e) { return e.getCurrentUniqueId(); }, 0},
        {"masterIdle", 3, 0, 0, false, [](AudioEffectX& e) { e.masterIdle(); return VstIntPtr(0); }, 0},
        {"__isInputConnectedDeprecated", 4, 3, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.__isInputConnectedDeprecated(3)); }, 1},
        {"__isOutputConnectedDeprecated", 4, 3, 1, false, [](AudioEffectX& e) { return VstIntPtr(e.__isOutputConnectedDeprecated(3)); }, 1},
        {"__wantEventsDeprecated", 6, 0, 5, false, [](AudioEffectX& e) { e.__wantEventsDeprecated(5); return VstIntPtr(0); }, 0},
        {"getTimeInfo", 7, 0, 9, false, [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.getTimeInfo(9)); }, 0},
        {"sendVstEventsToHost", 8, 0, 0, true, [p](AudioEffectX& e) { return VstIntPtr(e.sendVstEventsToHost(static_cast<VstEvents*>(p))); }, 0},
        {"__tempoAtDeprecated", 10, 0, 12, false, [](AudioEffectX& e) { return VstIntPtr(e.__tempoAtDeprecated(12)); }, 0},
        {"__getNumAutomatableParametersDeprecated", 11, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.__getNumAutomatableParametersDeprecated()); }, 0},
        {"__getParameterQuantizationDeprecated", 12, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.__getParameterQuantizationDeprecated()); }, 0},
        {"ioChanged", 13, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.ioChanged()); }, 0},
        {"__needIdleDeprecated", 14, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.__needIdleDeprecated()); }, 0},
        {"sizeWindow", 15, 640, 480, false, [](AudioEffectX& e) { return VstIntPtr(e.sizeWindow(640, 480)); }, 0},
        {"updateSampleRate", 16, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.updateSampleRate()); }, 44100},
        {"updateBlockSize", 17, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.updateBlockSize()); }, 1024},
        {"getInputLatency", 18, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.getInputLatency()); }, 0},
        {"getOutputLatency", 19, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.getOutputLatency()); }, 0},
        {"__getPreviousPlugDeprecated", 20, 0, 0, false, [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.__getPreviousPlugDeprecated(1)); }, 0},
        {"__getNextPlugDeprecated", 21, 0, 0, false, [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.__getNextPlugDeprecated(1)); }, 0},
        {"__willProcessReplacingDeprecated", 22, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.__willProcessReplacingDeprecated()); }, 0},
        {"getCurrentProcessLevel", 23, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.getCurrentProcessLevel()); }, 0},
        {"getAutomationState", 24, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.getAutomationState()); }, 0},
        {"offlineStart", 25, 2, 3, true, [p](AudioEffectX& e) { return VstIntPtr(e.offlineStart(static_cast<VstAudioFile*>(p), 3, 2)); }, 0},
        {"offlineRead", 26, 1, 4, true, [p](AudioEffectX& e) { return VstIntPtr(e.offlineRead(static_cast<VstOfflineTask*>(p), 4, true)); }, 0},
        {"offlineWrite", 27, 0, 4, true, [p](AudioEffectX& e) { return VstIntPtr(e.offlineWrite(static_cast<VstOfflineTask*>(p), 4)); }, 0},
        {"offlineGetCurrentPass", 28, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.offlineGetCurrentPass()); }, 0},
        {"offlineGetCurrentMetaPass", 29, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.offlineGetCurrentMetaPass()); }, 0},
        {"__setOutputSamplerateDeprecated", 30, 0, 0, false, [](AudioEffectX& e) { e.__setOutputSamplerateDeprecated(48000.0f); return VstIntPtr(0); }, 0},
        {"__getOutputSpeakerArrangementDeprecated", 31, 0, 0, false, [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.__getOutputSpeakerArrangementDeprecated()); }, 0},
        {"getHostVendorString", 32, 0, 0, true, [](AudioEffectX& e) { return VstIntPtr(e.getHostVendorString(text)); }, 0},
        {"getHostProductString", 33, 0, 0, true, [](AudioEffectX& e) { return VstIntPtr(e.getHostProductString(text)); }, 0},
        {"getHostVendorVersion", 34, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.getHostVendorVersion()); }, 0},
        {"hostVendorSpecific", 35, 7, 8, true, [p](AudioEffectX& e) { return e.hostVendorSpecific(7, 8, p, 0.5f); }, 0},
        {"canHostDo", 37, 0, 0, true, [](AudioEffectX& e) { return VstIntPtr(e.canHostDo(text)); }, 0},
        {"getHostLanguage", 38, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.getHostLanguage()); }, 0},
        {"__openWindowDeprecated", 39, 0, 0, true, [p](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.__openWindowDeprecated(p)); }, 0},
        {"__closeWindowDeprecated", 40, 0, 0, true, [p](AudioEffectX& e) { return VstIntPtr(e.__closeWindowDeprecated(p)); }, 0},
        {"getDirectory", 41, 0, 0, false, [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.getDirectory()); }, 0},
        {"updateDisplay", 42, 0, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.updateDisplay()); }, 0},
        {"beginEdit", 43, 6, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.beginEdit(6)); }, 0},
        {"endEdit", 44, 6, 0, false, [](AudioEffectX& e) { return VstIntPtr(e.endEdit(6)); }, 0},
        {"openFileSelector", 45, 0, 0, true, [p](AudioEffectX& e) { return VstIntPtr(e.openFileSelector(static_cast<VstFileSelect*>(p))); }, 0},
        {"closeFileSelector", 46, 0, 0, true, [p](AudioEffectX& e) { return VstIntPtr(e.closeFileSelector(static_cast<VstFileSelect*>(p))); }, 0},
        {"__getChunkFileDeprecated", 48, 0, 0, true, [p](AudioEffectX& e) { return VstIntPtr(e.__getChunkFileDeprecated(p)); }, 0},
        {"__getInputSpeakerArrangementDeprecated", 49, 0, 0, false, [](AudioEffectX& e) { return reinterpret_cast<VstIntPtr>(e.__getInputSpeakerArrangementDeprecated()); }, 0},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        {
            TestEffect effect(nullptr);
            EXPECT_EQ(row.call(effect), row.withoutHost);
        }
        HostRecorder host;
        host.answer = [](const HostCall&) -> VstIntPtr { return 0; };
        TestEffect effect(HostRecorder::callback);
        row.call(effect);
        ASSERT_EQ(host.calls.size(), 1u);
        const HostCall& call = host.calls[0];
        EXPECT_EQ(call.opcode, row.opcode);
        EXPECT_EQ(call.effect, effect.getAEffect());
        EXPECT_EQ(call.index, row.index);
        EXPECT_EQ(call.value, row.value);
        if (row.sendsPtr)
            EXPECT_NE(call.ptr, nullptr);
        else
            EXPECT_EQ(call.ptr, nullptr);
    }
}

TEST(HostCalls, AnswersAreInterpreted)
{
    HostRecorder host;
    VstIntPtr reply = 0;
    host.answer = [&](const HostCall&) { return reply; };
    TestEffect effect(HostRecorder::callback);

    reply = 0;
    EXPECT_EQ(effect.getMasterVersion(), 1);
    EXPECT_TRUE(effect.__isInputConnectedDeprecated(0)); // 0 means connected
    EXPECT_EQ(effect.updateSampleRate(), 44100.0);      // non-positive answers keep the rate
    reply = 2400;
    EXPECT_EQ(effect.getMasterVersion(), 2400);
    reply = 1;
    EXPECT_FALSE(effect.__isInputConnectedDeprecated(0));
    EXPECT_TRUE(effect.sendVstEventsToHost(nullptr));
    reply = 2;
    EXPECT_FALSE(effect.sendVstEventsToHost(nullptr)); // only 1 means accepted
    EXPECT_TRUE(effect.sizeWindow(1, 1));
    reply = 48000;
    EXPECT_EQ(effect.updateSampleRate(), 48000.0);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    reply = 256;
    EXPECT_EQ(effect.updateBlockSize(), 256);
    reply = -1;
    EXPECT_EQ(effect.updateBlockSize(), 256);

    const size_t before = host.calls.size();
    EXPECT_FALSE(effect.openFileSelector(nullptr)); // null argument: no call
    EXPECT_FALSE(effect.closeFileSelector(nullptr));
    EXPECT_FALSE(effect.__getChunkFileDeprecated(nullptr));
    EXPECT_EQ(host.calls.size(), before);
}

TEST(HostCalls, ResumeAsksForMidiOnlyWhenWanted)
{
    HostRecorder host;
    TestEffect effect(HostRecorder::callback);
    dispatch(effect, effMainsChanged, 0, 1);
    EXPECT_TRUE(host.calls.empty());

    effect.canDoAnswer = "receiveVstMidiEvent";
    dispatch(effect, effMainsChanged, 0, 1);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterWantMidi);
    EXPECT_EQ(host.calls[0].value, 1);

    effect.canDoAnswer = "";
    effect.isSynth(true);
    dispatch(effect, effMainsChanged, 0, 1);
    EXPECT_EQ(host.calls.size(), 2u);
}

// ---- speaker arrangements ----

TEST(SpeakerArrangement, AllocateMatchAndCopy)
{
    TestEffect effect(nullptr);
    VstSpeakerArrangement* from = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&from, 3));
    EXPECT_EQ(from->numChannels, 3);
    from->type = 7;
    for (int i = 0; i < 3; ++i) {
        VstSpeakerProperties& s = vstSpeakers(from)[i];
        std::memset(s.name, 'a' + i, sizeof(s.name)); // unterminated, 64 characters
        s.type = i;
        s.azimuth = 0.5f * i;
    }
    VstSpeakerArrangement* to = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&to, 1));
    ASSERT_TRUE(effect.matchArrangement(&to, from)); // reallocates for 3
    EXPECT_EQ(to->numChannels, 3);
    EXPECT_EQ(to->type, 7);
    for (int i = 0; i < 3; ++i) {
        const VstSpeakerProperties& s = vstSpeakers(to)[i];
        EXPECT_EQ(std::strlen(s.name), 63u);
        EXPECT_EQ(s.name[0], 'a' + i);
        EXPECT_EQ(s.type, i);
        EXPECT_EQ(s.azimuth, 0.5f * i);
    }
    EXPECT_FALSE(effect.matchArrangement(&to, nullptr));
    EXPECT_TRUE(effect.deallocateArrangement(&to));
    EXPECT_EQ(to, nullptr);
    effect.deallocateArrangement(&from);
}

// ---- text formatting ----

namespace {

// Formats into a buffer filled with a marker, and checks that nothing past
// text[maxLen] was written and that text[maxLen] is a terminator.
std::string format(const std::function<void(char*, VstInt32)>& formatter, VstInt32 maxLen)
{
    char buffer[64];
    std::memset(buffer, '#', sizeof(buffer));
    formatter(buffer, maxLen);
    EXPECT_EQ(buffer[maxLen], 0);
    for (size_t i = static_cast<size_t>(maxLen) + 1; i < sizeof(buffer); ++i)
        EXPECT_EQ(buffer[i], '#') << "written past maxLen at " << i;
    return buffer;
}

} // namespace

TEST(TextFormatting, Float2String)
{
    TestEffect e(nullptr);
    auto f = [&](float v, VstInt32 maxLen) {
        return format([&](char* t, VstInt32 n) { e.float2string(v, t, n); }, maxLen);
    };
    const struct {
        float value;
        const char* wide;
        const char* four;
    } cases[] = {
        {1.0f, "1.000000", "1.00"},     {10.0f, "10.00000", "10.0"}, {0.5f, "0.500000", "0.50"},
        {-2.5f, "-2.50000", "-2.5"},    {2.0f, "2.00", "2.00"},       {0.0f, "0.000000", "0.00"},
        {123.25f, "123.2500", "123."}, {5.0f, "5.000000", "5.00"},
    };
    for (const auto& c : cases) {
        if (std::strlen(c.wide) == 8) {
            EXPECT_EQ(f(c.value, 8), c.wide) << c.value;
        }
        EXPECT_EQ(f(c.value, 4), c.four) << c.value;
    }
    // Digits are truncated, never rounded: 0.7f is 0.69999998...
    EXPECT_EQ(f(0.7f, 8), "0.699999");
    EXPECT_EQ(f(1234567.0f, 8), "1234567.");
    EXPECT_EQ(f(100000000.0f, 8), "Huge!");
    EXPECT_EQ(f(-10000000.0f, 8), "Huge!");
    EXPECT_EQ(f(1e30f, 3), "Hug");
    EXPECT_EQ(f(9999999.0f, 8), "9999999.");
    EXPECT_EQ(f(-999999.0f, 8), "-999999.");
    EXPECT_EQ(f(0.5f, 0), "");
}

TEST(TextFormatting, Int2String)
{
    TestEffect e(nullptr);
    auto i = [&](VstInt32 v, VstInt32 maxLen) {
        return format([&](char* t, VstInt32 n) { e.int2string(v, t, n); }, maxLen);
    };
    EXPECT_EQ(i(0, 8), "0");
    EXPECT_EQ(i(-42, 8), "-42");
    EXPECT_EQ(i(7, 8), "7");
    EXPECT_EQ(i(1000, 8), "1000");
    EXPECT_EQ(i(99999999, 8), "99999999");
    EXPECT_EQ(i(100000000, 8), "Huge!");
    EXPECT_EQ(i(12345, 3), "123");
    EXPECT_EQ(i(-2147483647 - 1, 8), "Huge!");
}

TEST(TextFormatting, DecibelsHertzAndMilliseconds)
{
    TestEffect e(nullptr);
    auto dB = [&](float v) {
        return format([&](char* t, VstInt32 n) { e.dB2string(v, t, n); }, 8);
    };
    EXPECT_EQ(dB(0.0f), "-oo");
    EXPECT_EQ(dB(-1.0f), "-oo");
    EXPECT_EQ(dB(1.0f), "0.000000");
    EXPECT_EQ(dB(10.0f), "20.00000");
    EXPECT_EQ(dB(0.1f).substr(0, 4), "-20.");

    e.setSampleRate(44100.0f);
    auto hz = [&](float samples) {
        return format([&](char* t, VstInt32 n) { e.Hz2string(samples, t, n); }, 8);
    };
    auto ms = [&](float samples) {
        return format([&](char* t, VstInt32 n) { e.ms2string(samples, t, n); }, 8);
    };
    EXPECT_EQ(hz(0.0f), "0.000000");
    EXPECT_EQ(hz(441.0f), "100.0000");
    EXPECT_EQ(ms(44100.0f), "1000.000");
    EXPECT_EQ(ms(441.0f), "10.00000");
}

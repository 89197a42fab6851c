#pragma once

#include <atomic>
#include <cstdint>

#include "editor/EditorParameters.h"
#include "engine/GravelEngine.h"
#include "plugin/AudioEffectX.h"

constexpr VstInt32 kGRVNumPrograms = 1;
constexpr int kGRVNumSlots = 12;

// One program: twelve values in the program slot layout (one slot per
// parameter and a reserved one), then the name. Values are atomic because a host may set parameters on one thread
// while another selects the program; on this platform that costs nothing.
struct VST_GRVProgram {
    VST_GRVProgram();

    std::atomic<float> values[kGRVNumSlots];
    char name[24];
};
static_assert(std::atomic<float>::is_always_lock_free, "parameter values must be lock-free");
static_assert(sizeof(VST_GRVProgram) == kGRVNumSlots * sizeof(float) + 24, "program layout");

// The overdrive as a VST 2.4 effect: the engine's eleven parameters with
// their names and display texts, one program, and the editor, which reaches
// the effect through EditorParameters only.
//
// Threads: the engine records parameter changes at once and applies them at
// the start of the next block (see GravelEngine); getParameter and the
// display texts read the recorded value.
class VST_GRV : public AudioEffectX, public EditorParameters {
public:
    // Builds the effect's editor over its parameters; null means the effect
    // has none.
    typedef AEffEditor* (*EditorFactory)(EditorParameters* parameters);

    explicit VST_GRV(audioMasterCallback audioMaster, EditorFactory makeEditor = nullptr);
    ~VST_GRV() override;

    VST_GRV(const VST_GRV&) = delete;
    VST_GRV& operator=(const VST_GRV&) = delete;

    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processDoubleReplacing(double** inputs, double** outputs,
                                VstInt32 sampleFrames) override;

    void setParameter(VstInt32 index, float value) override;
    // For the host and the editor alike.
    float getParameter(VstInt32 index) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;

    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    VstInt32 getPlugCategory() override;

    void setSampleRate(float rate) override;

    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;

    // The editor's calls, passed on to the host as automation, edit
    // gestures, window size requests and idle.
    void setParameterFromEditor(int32_t index, float value) override;
    bool beginGesture(int32_t index) override;
    bool endGesture(int32_t index) override;
    bool resizeEditor(int32_t width, int32_t height) override;
    void editorIdled() override;

    // The channel-mode and bypass logic of parameters 8 and 9 without touching
    // the values, the program or the editor.
    void setPluginMode(float value);
    void setPluginBypass(float value);

    // For tests on one thread: what the audio thread currently runs.
    const HBOversampler<GRV>& getOversamplerL() const { return engine.getOversamplerL(); }
    const HBOversampler<GRV>& getOversamplerR() const { return engine.getOversamplerR(); }
    uint16_t getProcessMode() const { return engine.getProcessMode(); }

    static constexpr double kLowFactorBelow = GravelEngine::kLowFactorBelow;
    static constexpr double kHighFactorFrom = GravelEngine::kHighFactorFrom;

    // Host rates the models run at (Hz); others are ignored.
    static constexpr float kMinSampleRate = float(GravelEngine::kMinSampleRate);
    static constexpr float kMaxSampleRate = float(GravelEngine::kMaxSampleRate);

private:
    template <typename Sample>
    void processBlock(Sample** inputs, Sample** outputs, VstInt32 sampleFrames);
    void programDisplayName(VstInt32 program, char* name) const;

    GravelEngine engine;
    VST_GRVProgram* programs;
};

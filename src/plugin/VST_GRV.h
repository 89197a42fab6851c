#pragma once

#include <atomic>
#include <cstdint>

#include "circuit/GRV.h"
#include "oversampling/HBOversamplerTemplate.h"
#include "plugin/AudioEffectX.h"

constexpr VstInt32 kGRVNumParams = 11;
constexpr VstInt32 kGRVNumPrograms = 1;
constexpr int kGRVNumSlots = 12;

// Parameter indices as the host sees them.
enum GRVParameter : VstInt32 {
    kInputLevel = 0,
    kDrive,
    kTone,
    kLevel,
    kAsym,
    kFat,
    kInBuffer,
    kOutBuffer,
    kPluginMode,
    kBypass,
    kOversampling,
};

// One program: twelve values in the slot layout of VST_GRV::values, then the
// name. Values are atomic because a host may set parameters on one thread
// while another selects the program; on this platform that costs nothing.
struct VST_GRVProgram {
    VST_GRVProgram();

    std::atomic<float> values[kGRVNumSlots];
    char name[24];
};
static_assert(std::atomic<float>::is_always_lock_free, "parameter values must be lock-free");
static_assert(sizeof(VST_GRVProgram) == kGRVNumSlots * sizeof(float) + 24, "program layout");

// The overdrive effect: two channel models, each run by its own oversampler,
// one program and eleven parameters.
//
// Threads: the host sets parameters on its own threads while its audio thread
// processes. setParameter only records the value (atomics) and marks it
// pending; the next process call applies every pending change to both
// channels before its first sample, so no model setter, rate change or factor
// change ever overlaps a processOversampled call. getParameter and the display
// texts read the recorded value at once.
class VST_GRV : public AudioEffectX {
public:
    // Builds the effect's editor; null means the effect has none.
    typedef AEffEditor* (*EditorFactory)(AudioEffect* effect);

    explicit VST_GRV(audioMasterCallback audioMaster, EditorFactory makeEditor = nullptr);
    ~VST_GRV() override;

    VST_GRV(const VST_GRV&) = delete;
    VST_GRV& operator=(const VST_GRV&) = delete;

    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processDoubleReplacing(double** inputs, double** outputs,
                                VstInt32 sampleFrames) override;

    void setParameter(VstInt32 index, float value) override;
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

    // The channel-mode and bypass logic of parameters 8 and 9 without touching
    // the values, the program or the editor.
    void setPluginMode(float value);
    void setPluginBypass(float value);

    // For tests on one thread: what the audio thread currently runs.
    const HBOversampler<GRV>& getOversamplerL() const { return *oversamplerL; }
    const HBOversampler<GRV>& getOversamplerR() const { return *oversamplerR; }
    uint16_t getProcessMode() const { return processMode.load(); }

    static constexpr double kLowFactorBelow = 0.3333;  // Oversampling: 2 below this
    static constexpr double kHighFactorFrom = 0.6666;  // 8 from this, 4 between

    // Host rates the models run at (Hz); others are ignored.
    static constexpr float kMinSampleRate = 8000.0f;
    static constexpr float kMaxSampleRate = 768000.0f;

private:
    template <typename Sample>
    void processBlock(Sample** inputs, Sample** outputs, VstInt32 sampleFrames);
    void applyPendingChanges();
    void resetChannels();
    bool channelsAreFinite() const;
    void programDisplayName(VstInt32 program, char* name) const;
    float slotValue(VstInt32 index) const;
    static unsigned factorFor(float value);

    HBOversampler<GRV>* oversamplerL;
    HBOversampler<GRV>* oversamplerR;
    GRV* modelL;
    GRV* modelR;
    std::atomic<uint16_t> processMode{1}; // 0 bypass, 1 mono, 2 stereo; read once per block
    std::atomic<uint16_t> channelMode{1}; // 1 mono, 2 stereo; restored when bypass goes off
    std::atomic<float> values[kGRVNumSlots];
    VST_GRVProgram* programs;
    double inputGain; // 2 × Input Level; owned by the audio thread once processing

    // Hand-over to the audio thread: one bit per parameter index (and one for
    // the sample rate), set after the new value is recorded.
    std::atomic<uint32_t> pending{0};
    std::atomic<double> pendingSampleRate{44100.0};
};

#pragma once

#include "circuit/AnalogFilters.h"
#include "circuit/DiodeClippingOpAmpStage.h"
#include "circuit/GRVInputBuffer.h"
#include "circuit/GRVOutputBuffer.h"
#include "circuit/GRVToneLevelCircuit.h"
#include "circuit/Newton.h"

namespace GRVKernels {
enum class Level;
struct Table;
struct Access;
} // namespace GRVKernels

// One channel of the pedal: input buffer → coupling high-pass → clipping
// stage → tone and level → output buffer, at the model (oversampled) rate.
// The setters take the effect's normalised 0..1 parameter values.
class GRV {
public:
    explicit GRV(double sampleRate);
    virtual ~GRV() = default;

    // Every form below gives the same output for a channel, whatever the
    // blocks it comes in and whatever the other channel of a pair does.
    double process(double x);
    // out[i] = process(in[i]); in and out may be the same buffer.
    void processBlock(const double* in, double* out, int n);

    // One or two channels (the stereo pair) one sample each, or over a block
    // each.
    template <int Lanes>
    static void processLanes(GRV* const (&models)[Lanes], const double (&x)[Lanes],
                             double (&y)[Lanes]);
    template <int Lanes>
    static void processLanesBlock(GRV* const (&models)[Lanes], const double* const (&in)[Lanes],
                                  double* const (&out)[Lanes], int n);

    // The processor's fastest kernels are chosen when the model is made;
    // tests and benchmarks may pick a level (one this processor lacks gives
    // the baseline).
    void useKernels(GRVKernels::Level level);
    GRVKernels::Level kernelLevel() const;

    // Host values can arrive outside 0..1 (automation, other wrappers'
    // unclamped scaling). Drive, Tone and Level are clamped into range; a NaN
    // leaves the previous setting as it was, so no host value can stop the
    // process or fill the tone filter with NaN.
    void setParameterDrive(float drive);
    void setParameterToneLevel(float tone, float level);
    // 0.5 or more (or NaN) selects: asymmetric diodes, 94 nF, buffer in.
    void setParameterClippingType(float value);
    void setParameterFatMode(float value);
    void setParameterInputBuffer(float value);
    void setParameterOutputBuffer(float value);

    void setSampleRate(double sampleRate);
    void resetFilters();
    // False once any stage holds a non-finite value: the channel then needs
    // resetFilters before it can make sound again.
    bool isFinite() const
    {
        return inputBuffer.isFinite() && couplingHighPass.isFinite() && clippingStage.isFinite() &&
               toneLevel.isFinite() && outputBuffer.isFinite();
    }

    double getSampleRate() const { return sampleRate; }
    bool isInputBufferOn() const { return inputBufferOn; }
    bool isOutputBufferOn() const { return outputBufferOn; }
    const GRVInputBuffer& getInputBuffer() const { return inputBuffer; }
    const DiodeClippingOpAmpStage& getClippingStage() const { return clippingStage; }
    const GRVToneLevelCircuit& getToneLevel() const { return toneLevel; }
    const GRVOutputBuffer& getOutputBuffer() const { return outputBuffer; }

    static constexpr double bias = 4.5;             // supply midpoint, V
    static constexpr double minGainResistor = 51000.0; // Drive 0, ohms
    static constexpr double driveTaper = 5.5;       // scaleToLog shape of the drive pot
    static constexpr double fatHPFCap = 9.4e-8;     // Fat on, F
    static constexpr double normalHPFCap = 4.7e-8;  // Fat off, F

private:
    friend struct GRVKernels::Access;
    static void processPair(GRV& left, GRV& right, const double* inLeft, const double* inRight,
                            double* outLeft, double* outRight, int n);

    const GRVKernels::Table* kernels;
    double sampleRate;
    bool inputBufferOn = true;
    bool outputBufferOn = true;
    GRVInputBuffer inputBuffer;
    DiodeClippingOpAmpStage clippingStage;
    GRVToneLevelCircuit toneLevel;
    GRVOutputBuffer outputBuffer;
    AnalogHPF couplingHighPass; // 1 kΩ, 10 µF: removes the input buffer's bias

    // Last Tone and Level that were valid, kept for NaN arguments.
    double lastTone = 0.5;
    double lastLevel = 0.5;
};

template <int Lanes>
void GRV::processLanes(GRV* const (&models)[Lanes], const double (&x)[Lanes], double (&y)[Lanes])
{
    const double* in[Lanes];
    double* out[Lanes];
    for (int k = 0; k < Lanes; ++k) {
        in[k] = &x[k];
        out[k] = &y[k];
    }
    processLanesBlock(models, in, out, 1);
}

template <int Lanes>
void GRV::processLanesBlock(GRV* const (&models)[Lanes], const double* const (&in)[Lanes],
                            double* const (&out)[Lanes], int n)
{
    static_assert(Lanes == 1 || Lanes == 2, "a model runs alone or as a stereo pair");
    if constexpr (Lanes == 1)
        models[0]->processBlock(in[0], out[0], n);
    else
        processPair(*models[0], *models[1], in[0], in[1], out[0], out[1], n);
}

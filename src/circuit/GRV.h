#pragma once

#include "circuit/AnalogFilters.h"
#include "circuit/DiodeClippingOpAmpStage.h"
#include "circuit/GRVInputBuffer.h"
#include "circuit/GRVOutputBuffer.h"
#include "circuit/GRVToneLevelCircuit.h"
#include "circuit/Newton.h"

// One channel of the pedal: input buffer → coupling high-pass → clipping
// stage → tone and level → output buffer, at the model (oversampled) rate.
// The setters take the effect's normalised 0..1 parameter values.
class GRV {
public:
    explicit GRV(double sampleRate);
    virtual ~GRV() = default;

    inline double process(double x);

    // Several channels one sample each (the stereo pair), with the stages'
    // Newton solves in lock step; each gives exactly what its process would.
    template <int Lanes>
    static void processLanes(GRV* const (&models)[Lanes], const double (&x)[Lanes],
                             double (&y)[Lanes]);
    // out[i] = process(in[i]); in and out may be the same buffer.
    void processBlock(double* in, double* out, int n);

    // Several channels over a block each, the stages a sample apart so that
    // their solves overlap; the same output as processLanes sample by sample.
    template <int Lanes>
    static void processLanesBlock(GRV* const (&models)[Lanes], const double* const (&in)[Lanes],
                                  double* const (&out)[Lanes], int n);

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
    template <int Lanes>
    static bool sameSwitches(GRV* const (&models)[Lanes]);
    template <int Lanes>
    static void inputSide(GRV* const (&models)[Lanes], const double (&x)[Lanes], double (&v)[Lanes]);
    template <int Lanes>
    static void clip(GRV* const (&models)[Lanes], const double (&v)[Lanes], double (&w)[Lanes]);
    template <int Lanes>
    static void tone(GRV* const (&models)[Lanes], const double (&v)[Lanes], double (&w)[Lanes]);
    template <int Lanes>
    static void outputSide(GRV* const (&models)[Lanes], const double (&w)[Lanes],
                           double (&y)[Lanes]);

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
bool GRV::sameSwitches(GRV* const (&models)[Lanes])
{
    for (int k = 1; k < Lanes; ++k)
        if (models[k]->inputBufferOn != models[0]->inputBufferOn ||
            models[k]->outputBufferOn != models[0]->outputBufferOn)
            return false;
    return true;
}

// Input buffer and coupling high-pass (which removes the buffer's 4.5 V bias).
template <int Lanes>
void GRV::inputSide(GRV* const (&models)[Lanes], const double (&x)[Lanes], double (&v)[Lanes])
{
    if (!models[0]->inputBufferOn) {
        for (int k = 0; k < Lanes; ++k)
            v[k] = x[k];
        return;
    }
    GRVInputBuffer* inputBuffers[Lanes];
    for (int k = 0; k < Lanes; ++k)
        inputBuffers[k] = &models[k]->inputBuffer;
    double buffered[Lanes];
    GRVInputBuffer::processLanes(inputBuffers, x, buffered);
    for (int k = 0; k < Lanes; ++k)
        v[k] = models[k]->couplingHighPass.processBackwardEuler(buffered[k]);
}

template <int Lanes>
void GRV::clip(GRV* const (&models)[Lanes], const double (&v)[Lanes], double (&w)[Lanes])
{
    DiodeClippingOpAmpStage* clippingStages[Lanes];
    for (int k = 0; k < Lanes; ++k)
        clippingStages[k] = &models[k]->clippingStage;
    DiodeClippingOpAmpStage::processLanes(clippingStages, v, w);
}

template <int Lanes>
void GRV::tone(GRV* const (&models)[Lanes], const double (&v)[Lanes], double (&w)[Lanes])
{
    for (int k = 0; k < Lanes; ++k)
        w[k] = models[k]->toneLevel.process(v[k]);
}

// Output buffer around the bias, when it is in.
template <int Lanes>
void GRV::outputSide(GRV* const (&models)[Lanes], const double (&w)[Lanes], double (&y)[Lanes])
{
    if (!models[0]->outputBufferOn) {
        for (int k = 0; k < Lanes; ++k)
            y[k] = w[k];
        return;
    }
    GRVOutputBuffer* outputBuffers[Lanes];
    double biased[Lanes];
    for (int k = 0; k < Lanes; ++k) {
        outputBuffers[k] = &models[k]->outputBuffer;
        biased[k] = w[k] + bias;
    }
    GRVOutputBuffer::processLanes(outputBuffers, biased, y);
}

template <int Lanes>
void GRV::processLanes(GRV* const (&models)[Lanes], const double (&x)[Lanes], double (&y)[Lanes])
{
    if (!sameSwitches(models)) {
        for (int k = 0; k < Lanes; ++k)
            y[k] = models[k]->process(x[k]);
        return;
    }
    double v[Lanes], w[Lanes], u[Lanes];
    inputSide(models, x, v);
    clip(models, v, w);
    tone(models, w, u);
    outputSide(models, u, y);
}

template <int Lanes>
void GRV::processLanesBlock(GRV* const (&models)[Lanes], const double* const (&in)[Lanes],
                            double* const (&out)[Lanes], int n)
{
    if (!sameSwitches(models)) {
        for (int k = 0; k < Lanes; ++k)
            models[k]->processBlock(const_cast<double*>(in[k]), out[k], n);
        return;
    }
    // The three sides run a sample apart: the input side on sample i, the
    // clipping stage on i − 1, the output buffer on i − 2. No data passes
    // between them within a step, so their Newton solves overlap in the
    // processor instead of waiting on each other; every stage still sees its
    // samples in order, so the output is what process gives sample by sample.
    // Each output is written after its input was read: in and out may be
    // the same buffer.
    constexpr int chunk = 32;
    for (int start = 0; start < n; start += chunk) {
        const int count = n - start < chunk ? n - start : chunk;
        double inputSideOut[chunk][Lanes], clippedOut[chunk][Lanes], tonedOut[chunk][Lanes];
        for (int step = 0; step < count + 3; ++step) {
            if (step < count) {
                double x[Lanes];
                for (int k = 0; k < Lanes; ++k)
                    x[k] = in[k][start + step];
                inputSide(models, x, inputSideOut[step]);
            }
            if (step >= 1 && step <= count)
                clip(models, inputSideOut[step - 1], clippedOut[step - 1]);
            if (step >= 2 && step <= count + 1)
                tone(models, clippedOut[step - 2], tonedOut[step - 2]);
            if (step >= 3) {
                double y[Lanes];
                outputSide(models, tonedOut[step - 3], y);
                for (int k = 0; k < Lanes; ++k)
                    out[k][start + step - 3] = y[k];
            }
        }
    }
}

double GRV::process(double x)
{
    return Newton::processAlone(this, x);
}

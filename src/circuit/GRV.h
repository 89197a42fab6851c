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
    void processBlock(double* in, double* out, int n);

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
    bool sameSwitches = true;
    for (int k = 1; k < Lanes; ++k)
        sameSwitches = sameSwitches && models[k]->inputBufferOn == models[0]->inputBufferOn &&
                       models[k]->outputBufferOn == models[0]->outputBufferOn;
    if (!sameSwitches) {
        for (int k = 0; k < Lanes; ++k)
            y[k] = models[k]->process(x[k]);
        return;
    }

    double v[Lanes];
    for (int k = 0; k < Lanes; ++k)
        v[k] = x[k];

    if (models[0]->inputBufferOn) {
        GRVInputBuffer* inputBuffers[Lanes];
        for (int k = 0; k < Lanes; ++k)
            inputBuffers[k] = &models[k]->inputBuffer;
        double buffered[Lanes];
        GRVInputBuffer::processLanes(inputBuffers, v, buffered);
        // The coupling high-pass removes the buffer's 4.5 V bias.
        for (int k = 0; k < Lanes; ++k)
            v[k] = models[k]->couplingHighPass.processBackwardEuler(buffered[k]);
    }

    DiodeClippingOpAmpStage* clippingStages[Lanes];
    for (int k = 0; k < Lanes; ++k)
        clippingStages[k] = &models[k]->clippingStage;
    double clipped[Lanes];
    DiodeClippingOpAmpStage::processLanes(clippingStages, v, clipped);

    for (int k = 0; k < Lanes; ++k)
        v[k] = models[k]->toneLevel.process(clipped[k]);

    if (models[0]->outputBufferOn) {
        GRVOutputBuffer* outputBuffers[Lanes];
        for (int k = 0; k < Lanes; ++k) {
            outputBuffers[k] = &models[k]->outputBuffer;
            v[k] += bias;
        }
        GRVOutputBuffer::processLanes(outputBuffers, v, y);
        return;
    }
    for (int k = 0; k < Lanes; ++k)
        y[k] = v[k];
}

double GRV::process(double x)
{
    return Newton::processAlone(this, x);
}

#include "circuit/GRV.h"

#include <cmath>

#include "utils/MathUtils.h"

namespace {

// Switch setters: 0.5 or more is on, and so is NaN (every comparison with NaN
// is false, so test for "off" rather than "on").
bool switchOn(float value)
{
    return !(value < 0.5f);
}

// Into 0..1; infinities too, which the branch-free clamp would turn into NaN.
double clampUnit(float value)
{
    return std::fmax(0.0, std::fmin(1.0, static_cast<double>(value)));
}

} // namespace

GRV::GRV(double rate)
    : sampleRate(rate), inputBuffer(rate),
      clippingStage(51000.0, 4700.0, normalHPFCap, 5.1e-11, rate), toneLevel(rate),
      outputBuffer(rate), couplingHighPass(1000.0, 1e-5, rate)
{
    couplingHighPass.setState(bias, 0.0);
}

double GRV::process(double x)
{
    double y;
    processBlock(&x, &y, 1);
    return y;
}

void GRV::processBlock(const double* in, double* out, int n)
{
    GRV* const models[1] = {this};
    const double* const inputs[1] = {in};
    double* const outputs[1] = {out};
    processStagesInTurn(models, inputs, outputs, n);
}

void GRV::processPair(GRV& left, GRV& right, const double* inLeft, const double* inRight,
                      double* outLeft, double* outRight, int n)
{
    GRV* const models[2] = {&left, &right};
    const double* const inputs[2] = {inLeft, inRight};
    double* const outputs[2] = {outLeft, outRight};
    processStagesInTurn(models, inputs, outputs, n);
}

// The stages run a sample apart: the input side on sample i, the clipping
// stage on i − 1, the tone on i − 2, the output buffer on i − 3, and each
// stage runs for every channel before the next. No data passes between the
// solves of one step, so the processor overlaps them (the solves are bound by
// latency: one exponential, one division and the state update per sample).
// Every stage still sees its samples in order: the output is what each
// stage gives alone, whatever the blocks and the other channel. Each output
// is written after its input was read, so in and out may be the same buffer.
//
// Solving the channels' buffers together in vector lanes was tried (with the
// model's exponential on two and four lanes): packing the solves joins
// chains the processor would otherwise overlap, and it was slower on every
// signal measured.
template <int Channels>
void GRV::processStagesInTurn(GRV* const (&models)[Channels], const double* const (&in)[Channels],
                              double* const (&out)[Channels], int n)
{
    constexpr int chunk = 32;
    for (int start = 0; start < n; start += chunk) {
        const int count = n - start < chunk ? n - start : chunk;
        double inputSideOut[chunk][Channels] = {}, clippedOut[chunk][Channels] = {},
               tonedOut[chunk][Channels] = {};
        for (int step = 0; step < count + 3; ++step) {
            if (step < count) {
                for (int k = 0; k < Channels; ++k) {
                    GRV& m = *models[k];
                    const double x = in[k][start + step];
                    // Without the buffer the coupling high-pass goes too: it
                    // only removes the buffer's bias.
                    inputSideOut[step][k] =
                        m.inputBufferOn
                            ? m.couplingHighPass.processBackwardEuler(m.inputBuffer.process(x))
                            : x;
                }
            }
            if (step >= 1 && step <= count)
                for (int k = 0; k < Channels; ++k)
                    clippedOut[step - 1][k] =
                        models[k]->clippingStage.process(inputSideOut[step - 1][k]);
            if (step >= 2 && step <= count + 1)
                for (int k = 0; k < Channels; ++k)
                    tonedOut[step - 2][k] = models[k]->toneLevel.process(clippedOut[step - 2][k]);
            if (step >= 3) {
                for (int k = 0; k < Channels; ++k) {
                    GRV& m = *models[k];
                    const double toned = tonedOut[step - 3][k];
                    out[k][start + step - 3] =
                        m.outputBufferOn ? m.outputBuffer.process(toned + bias) : toned;
                }
            }
        }
    }
}

void GRV::setParameterDrive(float drive)
{
    if (std::isnan(drive))
        return;
    const double d = clampUnit(drive);
    clippingStage.setGainResistor(MathUtils::Curves::scaleToLog(d, driveTaper) * 1000000.0 +
                                  minGainResistor);
}

void GRV::setParameterToneLevel(float tone, float level)
{
    if (!std::isnan(tone))
        lastTone = clampUnit(tone);
    if (!std::isnan(level))
        lastLevel = clampUnit(level);
    toneLevel.setSettings(lastTone, lastLevel);
}

void GRV::setParameterClippingType(float value)
{
    clippingStage.setClippingType(switchOn(value) ? AsymmetricClipping : SymmetricClipping);
}

void GRV::setParameterFatMode(float value)
{
    clippingStage.setHPFCap(switchOn(value) ? fatHPFCap : normalHPFCap);
}

void GRV::setParameterInputBuffer(float value)
{
    inputBufferOn = switchOn(value);
}

void GRV::setParameterOutputBuffer(float value)
{
    outputBufferOn = switchOn(value);
}

void GRV::setSampleRate(double rate)
{
    sampleRate = rate;
    inputBuffer.setSampleRate(rate);
    clippingStage.setSampleRate(rate);
    toneLevel.setSampleRate(rate);
    outputBuffer.setSampleRate(rate);
    couplingHighPass.setSampleRate(rate);
    resetFilters();
}

void GRV::resetFilters()
{
    inputBuffer.resetFilters();
    clippingStage.resetFilters();
    toneLevel.resetFilters();
    outputBuffer.resetFilters();
    couplingHighPass.setState(bias, 0.0);
}

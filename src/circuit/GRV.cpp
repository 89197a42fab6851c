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

void GRV::processBlock(double* in, double* out, int n)
{
    GRV* const models[1] = {this};
    const double* const inputs[1] = {in};
    double* const outputs[1] = {out};
    processLanesBlock(models, inputs, outputs, n);
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

#include "circuit/GRV.h"

#include <cmath>

#include "circuit/GRVKernels.h"
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
    : kernels(&GRVKernels::table(GRVKernels::preferred())), sampleRate(rate), inputBuffer(rate),
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
    kernels->mono(*this, in, out, n);
}

void GRV::processPair(GRV& left, GRV& right, const double* inLeft, const double* inRight,
                      double* outLeft, double* outRight, int n)
{
    if (left.kernels == right.kernels) {
        left.kernels->pair(left, right, inLeft, inRight, outLeft, outRight, n);
        return;
    }
    left.processBlock(inLeft, outLeft, n);
    right.processBlock(inRight, outRight, n);
}

void GRV::useKernels(GRVKernels::Level level)
{
    kernels = &GRVKernels::table(level);
}

GRVKernels::Level GRV::kernelLevel() const
{
    return kernels->level;
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

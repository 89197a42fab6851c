#include "live/LiveProcessor.h"

#include "hosting/VSTPlugIn.h"

#include <algorithm>
#include <cmath>

LiveProcessor::LiveProcessor(VSTPlugIn& plugIn, const MidiControlMap& controls)
    : plugIn(plugIn), controls(controls), inputs(size_t(plugIn.getInputCount())),
      inputPointers(inputs.size()), outputs(plugIn.getOutputCount())
{
}

void LiveProcessor::configure(double rate, int frames)
{
    if (plugIn.isResumed() && rate == sampleRate && frames == maxFrames)
        return;
    if (plugIn.isResumed())
        plugIn.suspend();
    plugIn.setSampleRate(float(rate));
    plugIn.setBlockSize(frames);
    for (size_t k = 0; k < inputs.size(); ++k) {
        inputs[k].assign(size_t(frames), 0.0f);
        inputPointers[k] = inputs[k].data();
    }
    sampleRate = rate;
    maxFrames = frames;
    plugIn.resume();
}

void LiveProcessor::stop()
{
    if (plugIn.isResumed())
        plugIn.suspend();
}

void LiveProcessor::controlChange(const unsigned char* message, size_t size)
{
    int parameter = 0;
    float value = 0.0f;
    if (controls.translate(message, size, parameter, value))
        plugIn.setParameter(parameter, value);
}

void LiveProcessor::process(const float* const* in, float* const* out, int frames)
{
    frames = std::min(frames, maxFrames);
    for (size_t k = 0; k < inputs.size(); ++k)
        std::copy_n(in[k], frames, inputs[k].begin());
    plugIn.processReplacing(inputPointers.data(), const_cast<float**>(out), frames);
    long long bad = 0;
    for (int c = 0; c < outputs; ++c)
        for (int i = 0; i < frames; ++i)
            if (!std::isfinite(out[c][i])) {
                out[c][i] = 0.0f;
                ++bad;
            }
    if (bad)
        nonFinite.fetch_add(bad, std::memory_order_relaxed);
}

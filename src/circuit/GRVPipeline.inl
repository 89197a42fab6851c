// The model's block pipeline. Each kernel unit includes this inside an
// anonymous namespace after choosing its instruction set, so nothing here is
// shared between the builds.

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
// signal measured. What does shorten the chains is the fused multiply-add
// of newer processors.
template <int Channels>
void processStagesInTurn(GRV* const (&models)[Channels], const double* const (&in)[Channels],
                         double* const (&out)[Channels], int n)
{
    using Access = GRVKernels::Access;
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
                        m.isInputBufferOn()
                            ? Access::couplingHighPass(m).processBackwardEuler(
                                  Access::inputBuffer(m).process(x))
                            : x;
                }
            }
            if (step >= 1 && step <= count)
                for (int k = 0; k < Channels; ++k)
                    clippedOut[step - 1][k] =
                        Access::clippingStage(*models[k]).process(inputSideOut[step - 1][k]);
            if (step >= 2 && step <= count + 1)
                for (int k = 0; k < Channels; ++k)
                    tonedOut[step - 2][k] = Access::toneLevel(*models[k]).process(clippedOut[step - 2][k]);
            if (step >= 3) {
                for (int k = 0; k < Channels; ++k) {
                    GRV& m = *models[k];
                    const double toned = tonedOut[step - 3][k];
                    out[k][start + step - 3] =
                        m.isOutputBufferOn() ? Access::outputBuffer(m).process(toned + GRV::bias) : toned;
                }
            }
        }
    }
}

void processMono(GRV& model, const double* in, double* out, int n)
{
    GRV* const models[1] = {&model};
    const double* const inputs[1] = {in};
    double* const outputs[1] = {out};
    processStagesInTurn(models, inputs, outputs, n);
}

void processPair(GRV& left, GRV& right, const double* inLeft, const double* inRight,
                 double* outLeft, double* outRight, int n)
{
    GRV* const models[2] = {&left, &right};
    const double* const inputs[2] = {inLeft, inRight};
    double* const outputs[2] = {outLeft, outRight};
    processStagesInTurn(models, inputs, outputs, n);
}

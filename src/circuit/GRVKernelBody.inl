// The model's block processing in vector lanes. Each kernel unit includes
// this inside an anonymous namespace after choosing its instruction set, so
// nothing here is shared between the builds. Only GCC's vector extensions
// are used: the same source is SSE2 code in one unit and AVX2 in the other.

typedef double Double2 __attribute__((vector_size(16)));
typedef double Double4 __attribute__((vector_size(32)));
typedef long long Mask2 __attribute__((vector_size(16)));
typedef long long Mask4 __attribute__((vector_size(32)));

typedef unsigned long long Unsigned2 __attribute__((vector_size(16)));
typedef unsigned long long Unsigned4 __attribute__((vector_size(32)));

template <class V>
struct UnsignedOf;
template <>
struct UnsignedOf<Double2> {
    using type = Unsigned2;
};
template <>
struct UnsignedOf<Double4> {
    using type = Unsigned4;
};

template <class V>
struct MaskOf;
template <>
struct MaskOf<Double2> {
    using type = Mask2;
};
template <>
struct MaskOf<Double4> {
    using type = Mask4;
};

template <class V>
constexpr int lanesOf = static_cast<int>(sizeof(V) / sizeof(double));

template <class V>
inline V splat(double value)
{
    return V{} + value;
}

// A vector of field(k) over its lanes, built in registers: writing lanes one
// by one into memory and reading the vector back would stall on store
// forwarding in every step.
template <class V, class Field>
inline V fromLanes(Field field)
{
    if constexpr (lanesOf<V> == 2)
        return V{field(0), field(1)};
    else
        return V{field(0), field(1), field(2), field(3)};
}

inline bool anyTrue(Mask2 mask)
{
    return __builtin_ia32_movmskpd((Double2)mask) != 0;
}

inline bool anyTrue(Mask4 mask)
{
#ifdef GRAVEL_KERNEL_AVX2
    return __builtin_ia32_movmskpd256((Double4)mask) != 0;
#else
    const Mask2 low = {mask[0], mask[1]}, high = {mask[2], mask[3]};
    return anyTrue(low | high);
#endif
}

// A double whose bits are all ones (a NaN): a true lane of a mask.
const double allOnes = [] {
    const long long bits = -1;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}();

template <class V>
inline V absolute(V x)
{
    using M = typename MaskOf<V>::type;
    return (V)((M)x & 0x7fffffffffffffffLL);
}

// Exponential::of, elementwise: the same operations in the same order.
template <class V>
inline V exponential(V x, double low = Exponential::lowest, double high = Exponential::highest)
{
    return Exponential::generic(x, low, high, [](V t, V& fraction, V& first, V& second) {
        using U = typename UnsignedOf<V>::type;
        U index, firstBits, secondBits;
        Exponential::powerBits((U)t, index, firstBits, secondBits);
        fraction = fromLanes<V>([&](int k) { return Exponential::powersOfTwo[index[k]]; });
        first = (V)firstBits;
        second = (V)secondBits;
    });
}

// Emitter-follower problems (both buffers of every channel) solved in lock
// step: each lane takes exactly the steps it would take alone and stops on
// its own step test; a finished lane keeps its solution.
template <class V>
struct FollowerLanes {
    using M = typename MaskOf<V>::type;

    V v, base, linear, saturation, constant, slope;
    V iterations{}, inverseSlope{}, step{}, e{}; // of each lane's last step
    M active;

    // Lanes whose problem is off stay where they are and take no step.
    FollowerLanes(const EmitterFollower::Problem (&p)[lanesOf<V>], const bool (&on)[lanesOf<V>])
        : v(fromLanes<V>([&](int k) { return p[k].start; })),
          base(fromLanes<V>([&](int k) { return p[k].base; })),
          linear(fromLanes<V>([&](int k) { return p[k].linear; })),
          saturation(fromLanes<V>([&](int k) { return p[k].saturation; })),
          constant(fromLanes<V>([&](int k) { return p[k].constant; })),
          slope(fromLanes<V>([&](int k) { return p[k].slope; })),
          active((M)fromLanes<V>([&](int k) { return on[k] ? allOnes : 0.0; }))
    {
    }

    [[gnu::always_inline]] bool anyActive() const { return anyTrue(active); }

    [[gnu::always_inline]] void iterate()
    {
        const V eNow =
            exponential((base - v) * EmitterFollower::invVt, Exponential::lowest, Newton::maxExponent);
        const V f = linear * v + saturation * eNow + constant;
        const V fPrime = linear + slope * eNow;
        const V inverse = 1.0 / fPrime;
        const V stepNow = f * inverse;
        v = active ? v - stepNow : v;
        iterations = active ? iterations + 1.0 : iterations;
        inverseSlope = active ? inverse : inverseSlope;
        step = active ? stepNow : step;
        e = active ? eNow : e;
        // A NaN step fails the comparison and ends the lane.
        active = active & (absolute(stepNow) > Newton::tolerance) &
                 (iterations < static_cast<double>(Newton::maxIterations));
    }

    double solution(int lane) const { return v[lane]; }

    Newton::LastIterate<double> last(int lane) const
    {
        return {inverseSlope[lane], step[lane], static_cast<int>(iterations[lane]), e[lane]};
    }
};

// Four follower lanes as two halves, where four-lane vectors are not native.
struct FollowerHalves {
    FollowerLanes<Double2> low, high;

    FollowerHalves(const EmitterFollower::Problem (&p)[4], const bool (&on)[4])
        : low({p[0], p[1]}, {on[0], on[1]}), high({p[2], p[3]}, {on[2], on[3]})
    {
    }

    [[gnu::always_inline]] bool anyActive() const { return low.anyActive() || high.anyActive(); }

    [[gnu::always_inline]] void iterate()
    {
        low.iterate();
        high.iterate();
    }

    double solution(int lane) const { return lane < 2 ? low.solution(lane) : high.solution(lane - 2); }

    Newton::LastIterate<double> last(int lane) const
    {
        return lane < 2 ? low.last(lane) : high.last(lane - 2);
    }
};

#ifdef GRAVEL_KERNEL_AVX2
using FourFollowers = FollowerLanes<Double4>;
#else
using FourFollowers = FollowerHalves;
#endif

// The clipping stages of up to two channels in lock step, with the same
// rails, bracket and rescue as the stage's own solve.
template <ClippingTypes type>
struct ClipperLanes {
    using Stage = DiodeClippingOpAmpStage;

    Double2 v, x, linearPart, slope, below, above;
    Double2 iterations{}, inverseSlope{}, step{}, e{}, voltage{}; // of each lane's last step
    Mask2 active;
    Stage::Problem* problems[2];

    ClipperLanes(Stage::Problem (&p)[2], const bool (&on)[2])
        : v(fromLanes<Double2>([&](int k) { return p[k].start; })),
          x(fromLanes<Double2>([&](int k) { return p[k].x; })),
          linearPart(fromLanes<Double2>([&](int k) { return p[k].linearPart; })),
          slope(fromLanes<Double2>([&](int k) { return p[k].slope; })),
          below(fromLanes<Double2>([&](int k) { return p[k].below; })),
          above(fromLanes<Double2>([&](int k) { return p[k].above; })),
          active((Mask2)fromLanes<Double2>([&](int k) { return on[k] ? allOnes : 0.0; })),
          problems{&p[0], &p[1]}
    {
    }

    [[gnu::always_inline]] bool anyActive() const { return anyTrue(active); }

    [[gnu::always_inline]] void iterate()
    {
        const Double2 rail = splat<Double2>(Stage::rail);
        Double2 at = v > rail ? rail : v;
        at = at < -rail ? -rail : at;
        const Mask2 rescue =
            active & (iterations == static_cast<double>(Stage::rescueAfterEvaluations - 1));
        if (anyTrue(rescue))
            restartFromBracket(rescue, at);

        const Double2 d = at - x;
        const double scale = type == AsymmetricClipping ? Stage::invTwoVd : Stage::invVd;
        const double upper =
            type == AsymmetricClipping ? Newton::maxSquaredExponent : Newton::maxExponent;
        const Double2 eNow = exponential(d * scale, Newton::minExponent, upper);
        const Double2 linear = slope * at + linearPart;
        // f and f′ both multiplied by e, as the stage does.
        const Double2 ePower = type == AsymmetricClipping ? eNow * eNow * eNow : eNow * eNow;
        const double reverseShare = type == AsymmetricClipping ? 0.5 : 1.0;
        Double2 f = Stage::Is * (ePower - 1.0) + linear * eNow;
        Double2 fPrime = Stage::K * (ePower + reverseShare) + slope * eNow;
        const Mask2 near = absolute(d) < Stage::maxScaledDiodeVoltage;
        if (anyTrue(active & ~near))
            useUnscaledResidual(~near, eNow, linear, f, fPrime);

        const Mask2 positive = active & (f > 0.0), negative = active & (f < 0.0),
                    zero = active & (f == 0.0);
        above = positive & (at < above) ? at : above;
        below = negative & (at > below) ? at : below;
        above = zero ? at : above;
        below = zero ? at : below;

        const Double2 inverse = 1.0 / fPrime;
        const Double2 stepNow = f * inverse;
        v = active ? at - stepNow : v;
        iterations = active ? iterations + 1.0 : iterations;
        inverseSlope = active ? inverse : inverseSlope;
        step = active ? stepNow : step;
        e = active ? eNow : e;
        voltage = active ? d : voltage;
        active = active & (absolute(stepNow) > Newton::tolerance) &
                 (iterations < static_cast<double>(Newton::maxIterations));
    }

    Newton::LastIterate<Stage::DiodeAtIterate> last(int lane) const
    {
        Stage::DiodeAtIterate d;
        Stage::diodeFromExponential<type>(e[lane], d.current, d.conductance, d.curvature);
        d.voltage = voltage[lane];
        return {inverseSlope[lane], step[lane], static_cast<int>(iterations[lane]), d};
    }

private:
    // Rare (a start far up the diodes' exponential): lane by lane.
    void restartFromBracket(Mask2 lanes, Double2& at)
    {
        for (int k = 0; k < 2; ++k) {
            if (!lanes[k])
                continue;
            Stage::Problem& p = *problems[k];
            p.below = below[k];
            p.above = above[k];
            at[k] = Stage::rescueStart<type>(p);
            below[k] = p.below;
            above[k] = p.above;
        }
    }

    // Far up the exponential e² would overflow: the residual unscaled.
    void useUnscaledResidual(Mask2 lanes, Double2 eNow, Double2 linear, Double2& f,
                             Double2& fPrime)
    {
        for (int k = 0; k < 2; ++k) {
            if (!lanes[k])
                continue;
            double current, conductance, curvature;
            Stage::diodeFromExponential<type>(eNow[k], current, conductance, curvature);
            f[k] = current + linear[k];
            fPrime[k] = conductance + slope[k];
        }
    }
};

// The stages run a sample apart: the input side on sample i, the clipping
// stage on i − 1, the tone on i − 2, the output buffer on i − 3, so their
// Newton solves share one loop and one set of vector instructions. Every
// stage still sees its samples in order: the output is what each stage
// gives alone. Each output is written after its input was read, so in and
// out may be the same buffer.
template <ClippingTypes type, int Channels>
void processChannelsOfType(GRV* const (&models)[Channels], const double* const (&in)[Channels],
                           double* const (&out)[Channels], int n)
{
    using Access = GRVKernels::Access;
    using Followers =
        typename std::conditional<Channels == 1, FollowerLanes<Double2>, FourFollowers>::type;
    constexpr int chunk = 32;
    for (int start = 0; start < n; start += chunk) {
        const int count = n - start < chunk ? n - start : chunk;
        double inputSideOut[chunk][Channels], clippedOut[chunk][Channels], tonedOut[chunk][Channels];
        for (int step = 0; step < count + 3; ++step) {
            const bool inputStep = step < count;
            const bool clipStep = step >= 1 && step <= count;
            const bool toneStep = step >= 2 && step <= count + 1;
            const bool outputStep = step >= 3;

            // Lanes 0..Channels−1 hold the input buffers, the next ones the
            // output buffers; a lane without work stays off.
            EmitterFollower::Problem followerProblems[2 * Channels] = {};
            bool followerOn[2 * Channels] = {};
            DiodeClippingOpAmpStage::Problem clipping[2] = {};
            bool clippingOn[2] = {};
            double x[Channels] = {}, vM[Channels] = {}, biased[Channels] = {};
            for (int k = 0; k < Channels; ++k) {
                GRV& m = *models[k];
                if (inputStep) {
                    x[k] = in[k][start + step];
                    if (m.isInputBufferOn()) {
                        followerProblems[k] = Access::inputBuffer(m).prepare(x[k], vM[k]);
                        followerOn[k] = true;
                    }
                }
                if (clipStep) {
                    clipping[k] = Access::clippingStage(m).prepare<type>(inputSideOut[step - 1][k]);
                    clippingOn[k] = true;
                }
                if (toneStep)
                    tonedOut[step - 2][k] = Access::toneLevel(m).process(clippedOut[step - 2][k]);
                if (outputStep && m.isOutputBufferOn()) {
                    biased[k] = tonedOut[step - 3][k] + GRV::bias;
                    followerProblems[Channels + k] = Access::outputBuffer(m).prepare(biased[k]);
                    followerOn[Channels + k] = true;
                }
            }
            Followers followers(followerProblems, followerOn);
            ClipperLanes<type> clippers(clipping, clippingOn);

            bool followersActive = followers.anyActive(), clippersActive = clippers.anyActive();
            while (followersActive || clippersActive) {
                if (followersActive) {
                    followers.iterate();
                    followersActive = followers.anyActive();
                }
                if (clippersActive) {
                    clippers.iterate();
                    clippersActive = clippers.anyActive();
                }
            }

            for (int k = 0; k < Channels; ++k) {
                GRV& m = *models[k];
                if (inputStep) {
                    // Without the buffer the coupling high-pass is bypassed too:
                    // it only removes the buffer's bias.
                    inputSideOut[step][k] =
                        m.isInputBufferOn()
                            ? Access::couplingHighPass(m).processBackwardEuler(
                                  Access::inputBuffer(m).finish(x[k], vM[k], followerProblems[k].base,
                                                                followers.solution(k), followers.last(k)))
                            : x[k];
                }
                if (clipStep)
                    clippedOut[step - 1][k] =
                        Access::clippingStage(m).finish(clipping[k], clippers.v[k], clippers.last(k));
                if (outputStep) {
                    out[k][start + step - 3] =
                        m.isOutputBufferOn()
                            ? Access::outputBuffer(m).finish(biased[k], followers.solution(Channels + k),
                                                             followers.last(Channels + k))
                            : tonedOut[step - 3][k];
                }
            }
        }
    }
}

// The same pipeline with every stage solving alone, channel after channel:
// fewer instructions than the lanes where they cannot be wide, and the
// processor overlaps the independent solves by itself.
template <int Channels>
void processStagesInTurn(GRV* const (&models)[Channels], const double* const (&in)[Channels],
                         double* const (&out)[Channels], int n)
{
    using Access = GRVKernels::Access;
    constexpr int chunk = 32;
    for (int start = 0; start < n; start += chunk) {
        const int count = n - start < chunk ? n - start : chunk;
        double inputSideOut[chunk][Channels], clippedOut[chunk][Channels], tonedOut[chunk][Channels];
        for (int step = 0; step < count + 3; ++step) {
            // Stage by stage across the channels: neighbouring solves are
            // independent, which is what the processor overlaps.
            if (step < count) {
                for (int k = 0; k < Channels; ++k) {
                    GRV& m = *models[k];
                    const double x = in[k][start + step];
                    inputSideOut[step][k] =
                        m.isInputBufferOn() ? Access::couplingHighPass(m).processBackwardEuler(
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
                        m.isOutputBufferOn() ? Access::outputBuffer(m).process(toned + GRV::bias)
                                             : toned;
                }
            }
        }
    }
}

template <int Channels>
void processChannels(GRV* const (&models)[Channels], const double* const (&in)[Channels],
                     double* const (&out)[Channels], int n)
{
    if (models[0]->getClippingStage().getClippingType() == AsymmetricClipping)
        processChannelsOfType<AsymmetricClipping>(models, in, out, n);
    else
        processChannelsOfType<SymmetricClipping>(models, in, out, n);
}

// One channel has too few solves to fill vector lanes: its stages solve alone.
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
    // The clipping stages share their lanes only when they solve the same
    // equation.
    if (left.getClippingStage().getClippingType() != right.getClippingStage().getClippingType()) {
        processMono(left, inLeft, outLeft, n);
        processMono(right, inRight, outRight, n);
        return;
    }
    GRV* const models[2] = {&left, &right};
    const double* const inputs[2] = {inLeft, inRight};
    double* const outputs[2] = {outLeft, outRight};
    if (useLanesForPairs)
        processChannels(models, inputs, outputs, n);
    else
        processStagesInTurn(models, inputs, outputs, n);
}

void exponentialOfArray(const double* in, double* out, int n)
{
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const Double4 x = {in[i], in[i + 1], in[i + 2], in[i + 3]};
        const Double4 y = exponential(x);
        for (int k = 0; k < 4; ++k)
            out[i + k] = y[k];
    }
    for (; i < n; ++i)
        out[i] = exponential(splat<Double2>(in[i]))[0];
}

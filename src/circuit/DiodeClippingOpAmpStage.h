#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "circuit/Newton.h"
#include "utils/MathUtils.h"

enum ClippingTypes : int32_t {
    SymmetricClipping = 0,  // one diode each way
    AsymmetricClipping = 1, // one diode for positive y − x, two in series for negative
};

// Non-inverting op-amp gain stage with Rg ∥ Cf ∥ diodes in the feedback path
// and Rh + Ch from the inverting input to ground. The op-amp is ideal and
// rail-limited to ±4.5 V; the diodes make the output implicit, so it is solved
// by Newton's method on every sample.
class DiodeClippingOpAmpStage {
public:
    DiodeClippingOpAmpStage(double gainResistor, double hpfResistor, double hpfCapacitor,
                            double feedbackCapacitor, double sampleRate);
    virtual ~DiodeClippingOpAmpStage() = default;

    void setGainResistor(double R);
    void setHPFRes(double R);
    void setHPFCap(double C);
    void setSampleRate(double sampleRate);
    void optimize();
    void setClippingType(ClippingTypes type) { clippingType = type; }
    void resetFilters();
    // The signal state only: the Newton start data (whose curvature may
    // overflow on a hard edge) is checked where it is used.
    bool isFinite() const { return MathUtils::allFinite({vA, x1, y1, iCf, iCh, y2}); }

    double process(double x)
    {
        return clippingType == AsymmetricClipping ? processOfType<AsymmetricClipping>(x)
                                                  : processOfType<SymmetricClipping>(x);
    }

    double getGainResistor() const { return Rg; }
    double getHPFCap() const { return Ch; }
    ClippingTypes getClippingType() const { return clippingType; }
    int lastIterations() const { return last.iterations; }

    static constexpr double Is = 1.084e-8;            // one diode's saturation current, A
    static constexpr double invVd = 45.7596899;       // one diode, per volt
    static constexpr double invTwoVd = 22.87984495;   // two diodes in series, per volt
    static constexpr double K = 4.96035038516e-07;    // Is/Vd, A/V
    static constexpr double rail = 4.5;               // op-amp output limit, V
    static constexpr double maxOvershoot = 1e4;       // output bound, V (±8 input: under 300)

private:
    // Newton's own steps get this many tries before the rescue; audio that
    // the oversampler has band-limited converges well within them.
    static constexpr int rescueAfterEvaluations = 8;
    static constexpr double rescueBracketWidth = 1e-4; // V
    // Enough to take ±4.5 V down to the width; a NaN residual (a NaN input in
    // the other lane's wake) must not keep the audio thread here.
    static constexpr int maxRescueHalvings = 20;
    // e² (e³ for the asymmetric pair) stays finite below this diode voltage.
    static constexpr double maxScaledDiodeVoltage = 7.0; // V

    // One sample's feedback balance at the inverting input,
    //   f(v) = i(v − x) + slope·v + linearPart,
    // which rises with v, so every evaluation narrows the bracket
    // [below, above] around its root.
    struct Problem {
        double x;
        double vA;         // the Rh–Ch node this sample
        double linearPart;
        double slope;      // 2·fs·Cf + Gg
        double start;      // first iterate
        double below;
        double above;
        int evaluations;
        // The evaluations before the rescue, folded into the bracket only if
        // it is needed: which side of the root an iterate fell on is a coin
        // toss the processor cannot predict, and it almost never matters.
        double iterates[rescueAfterEvaluations - 1];
        double residuals[rescueAfterEvaluations - 1];
    };

    // The diodes at an iterate: what the next sample's start is predicted
    // from. Where the residual was scaled by e, current, conductance and
    // curvature are kept scaled by e too (so that no 1/e is needed on the
    // way from one sample to the next), and exponential holds that e;
    // elsewhere they are as they are and exponential is 0.
    struct DiodeAtIterate {
        double current;     // diode current
        double conductance; // its slope
        double curvature;   // its second derivative
        double voltage;     // diode voltage
        double exponential;
    };

    // One sample in parts: prepare the problem, evaluate each iterate,
    // finish with the solution.
    template <ClippingTypes type>
    inline Problem prepare(double x) const;
    template <ClippingTypes type>
    static inline void evaluate(Problem& problem, double& iterate, double& f, double& fPrime,
                                DiodeAtIterate& d);
    // The bracket's midpoint after bisecting it down to the rescue width.
    template <ClippingTypes type>
    static inline double rescueStart(Problem& problem);
    inline double finish(const Problem& problem, double v,
                         const Newton::LastIterate<DiodeAtIterate>& solved);

    // The diode pair's current i, slope g and curvature from the exponential
    // of the diode voltage (e = exp(d/Vd), or exp(d/2Vd) for the asymmetric
    // pair).
    template <ClippingTypes type>
    static inline void diodeFromExponential(double e, double& i, double& g, double& curvature);

    // A residual evaluated at v bounds the root from one side.
    // A residual of exactly 0 closes the bracket on v; NaN leaves it as it is.
    static void narrowBracket(double v, double residualAtV, double& below, double& above)
    {
        if (residualAtV > 0.0)
            above = v < above ? v : above;
        else if (residualAtV < 0.0)
            below = v > below ? v : below;
        else if (residualAtV == 0.0)
            below = above = v;
    }

    // Diode current i and its slope g at the diode voltage d (output minus
    // inverting input).
    template <ClippingTypes type>
    static double diode(double d, double& i, double& g, double& curvature);

    // An exact clamp; NaN stays NaN.
    // Iterates almost never leave the rails: a branch the processor predicts
    // keeps the clamp off the chain from one sample to the next.
    static double holdToRails(double v)
    {
        if (__builtin_expect(!(std::abs(v) <= rail), 0)) {
            v = v > rail ? rail : v;
            v = v < -rail ? -rail : v;
        }
        return v;
    }

    template <ClippingTypes type>
    double processOfType(double x)
    {
        Problem problem = prepare<type>(x);
        Newton::LastIterate<DiodeAtIterate> solved;
        const double v = Newton::solve(problem.start, solved,
                                       [&](double& iterate, double& f, double& fPrime,
                                           DiodeAtIterate& d) {
                                           evaluate<type>(problem, iterate, f, fPrime, d);
                                       });
        return finish(problem, v, solved);
    }

    // Components.
    double Rg; // gain resistor, ohms
    double Gg; // 1/Rg
    double Rh; // HPF resistor, ohms
    double Gh; // 1/Rh
    double Ch; // HPF capacitor, F
    double Cf; // feedback capacitor, F
    double fs; // sample rate, Hz

    // State.
    double vA = 0.0;  // node between Rh and Ch at the previous sample
    double x1 = 0.0;  // previous input
    double y1 = 0.0;  // previous output
    double iCf = 0.0; // companion current of Cf
    double iCh = 0.0; // companion current of Ch
    double y2 = 0.0;  // output two samples back

    ClippingTypes clippingType = SymmetricClipping;

    // Pre-computed; the same for both clipping types.
    double q = 0.0; // 2·fs·Ch: Ch's trapezoidal conductance, also iCh's update
    double p = 0.0; // 1/(q + Gh)
    double r = 0.0; // 2·fs·Cf: Cf's trapezoidal conductance, also iCf's update
    double s = 0.0; // r + Gg: the residual's y term, the linear part of f′
    double t = 0.0; // −r − Gh − Gg: the residual's x term

    // Newton start from the last solution.
    Newton::LastIterate<DiodeAtIterate> last;
};

template <ClippingTypes type>
void DiodeClippingOpAmpStage::diodeFromExponential(double e, double& i, double& g,
                                                   double& curvature)
{
    const double inverse = 1.0 / e;
    if (type == AsymmetricClipping) {
        // One diode forward for d > 0 (exp(d/Vd) = e²), two in series for d < 0.
        i = Is * (e * e - inverse);
        g = K * (e * e + 0.5 * inverse);
        curvature = Is * invTwoVd * invTwoVd * (4.0 * e * e - inverse);
        return;
    }
    i = Is * (e - inverse);
    g = K * (e + inverse);
    curvature = invVd * invVd * i;
}

// Returns the exponential e it was computed from.
template <ClippingTypes type>
inline double DiodeClippingOpAmpStage::diode(double d, double& i, double& g, double& curvature)
{
    const double e =
        type == AsymmetricClipping
            ? Newton::boundedExpAndInverse(invTwoVd * d, Newton::maxSquaredExponent)
            : Newton::boundedExpAndInverse(invVd * d, Newton::maxExponent);
    diodeFromExponential<type>(e, i, g, curvature);
    return e;
}

template <ClippingTypes type>
DiodeClippingOpAmpStage::Problem DiodeClippingOpAmpStage::prepare(double x) const
{
    Problem problem;
    problem.x = x;
    // Rh–Ch node, trapezoidal: (x − vA)·Gh = current into Ch.
    problem.vA = (x * Gh + q * vA + iCh) * p;
    // Feedback balance at the inverting input, currents through Rg, Cf
    // and the diodes against the current into Rh:
    //   (y − x)·Gg + iCf(y) + i(y − x) = (x − vA)·Gh
    // collected as f(v) = i(v − x) + s·v + [Gh·vA + r·(x1 − y1) + t·x − iCf].
    problem.linearPart = Gh * problem.vA + r * (x1 - y1) + t * x - iCf;
    problem.slope = s;

    // Start from the last output moved by the residual expanded about the
    // last iterate: first the linear step, then one on the second-order
    // term, which is the diodes' curvature alone (the linear residual is
    // zero there by construction). It is closer than the linear
    // extrapolation 2·y1 − y2 on every signal we measured, by far on hard
    // edges, where the extrapolation tends to land on the far side of the
    // diodes' knee. The rails clamp it like any iterate.
    const DiodeAtIterate& d = last.aux;
    // That step's slope was e·(g + s) where the residual was scaled by e, so
    // its inverse times the scaled values gives the unscaled ones' ratios.
    const double scaledInverseSlope = last.inverseSlope;
    const double inverseSlope =
        d.exponential != 0.0 ? d.exponential * scaledInverseSlope : scaledInverseSlope;
    // The line through the last iterate, y1 − (i + g·(y1 − x − d) + s·y1 +
    // linearPart)/(g + s), gathered so that what the last solve already knew
    // waits neither for y1 nor for the new linearPart.
    const double keptOfY1 = 1.0 - d.conductance * scaledInverseSlope - s * inverseSlope;
    const double fromLastIterate =
        (d.current - d.conductance * (x + d.voltage)) * scaledInverseSlope;
    const double linearised =
        keptOfY1 * y1 - (fromLastIterate + problem.linearPart * inverseSlope);
    const double delta = linearised - x - d.voltage;
    const double curvatureOverSlope = d.curvature * scaledInverseSlope;
    const double slopeChange = curvatureOverSlope * delta;
    // Only while the expansion holds: far from the last iterate the
    // quadratic would throw the start further than the line did.
    problem.start =
        std::abs(slopeChange) < 0.5
            ? linearised - (0.5 * curvatureOverSlope) * delta * delta * (1.0 - slopeChange)
            : linearised;
    // After a sample that drove the diodes to the edge of the
    // representable, the expansion itself can overflow; the last output
    // is then as good a start as any, since the rails and the bracket
    // rescue do the rest.
    if (!std::isfinite(problem.start))
        problem.start = y1;

    // At v = x the diodes carry nothing and the residual is linear: a free
    // first bracket point.
    problem.below = -rail;
    problem.above = rail;
    problem.evaluations = 0;
    if (std::abs(x) < rail)
        narrowBracket(x, s * x + problem.linearPart, problem.below, problem.above);
    return problem;
}

template <ClippingTypes type>
double DiodeClippingOpAmpStage::rescueStart(Problem& p)
{
    for (int k = 0; k < p.evaluations - 1 && k < rescueAfterEvaluations - 1; ++k)
        narrowBracket(p.iterates[k], p.residuals[k], p.below, p.above);
    for (int halving = 0; halving < maxRescueHalvings && p.above - p.below > rescueBracketWidth;
         ++halving) {
        const double middle = 0.5 * (p.below + p.above);
        double i, g, curvature;
        diode<type>(middle - p.x, i, g, curvature);
        narrowBracket(middle, i + p.slope * middle + p.linearPart, p.below, p.above);
    }
    return holdToRails(0.5 * (p.below + p.above));
}

template <ClippingTypes type>
void DiodeClippingOpAmpStage::evaluate(Problem& p, double& iterate, double& f, double& fPrime,
                                       DiodeAtIterate& d)
{
    // Every iterate is held to the rails before it is used.
    iterate = holdToRails(iterate);
    // From a start far up the diodes' exponential, Newton creeps down one
    // diode voltage (about 22 mV) per step and can run out of steps before
    // it arrives, leaving a wrong output and a burst of CPU. Once that is
    // clear, restart the steps from the bracketed root instead.
    if (++p.evaluations == rescueAfterEvaluations)
        iterate = rescueStart<type>(p);

    d.voltage = iterate - p.x;
    const double e =
        type == AsymmetricClipping
            ? Newton::boundedExpAndInverse(invTwoVd * d.voltage, Newton::maxSquaredExponent)
            : Newton::boundedExpAndInverse(invVd * d.voltage, Newton::maxExponent);
    const double linear = p.slope * iterate + p.linearPart;
    if (std::abs(d.voltage) < maxScaledDiodeVoltage) {
        // f and f′ both multiplied by e: the same step without 1/e, whose
        // division would otherwise lie on the way to the next sample.
        const double eCubedOrSquared = type == AsymmetricClipping ? e * e * e : e * e;
        const double reverseShare = type == AsymmetricClipping ? 0.5 : 1.0;
        d.current = Is * (eCubedOrSquared - 1.0);
        d.conductance = K * (eCubedOrSquared + reverseShare);
        d.curvature = type == AsymmetricClipping
                          ? Is * invTwoVd * invTwoVd * (4.0 * eCubedOrSquared - 1.0)
                          : invVd * invVd * d.current;
        d.exponential = e;
        f = d.current + linear * e;
        fPrime = d.conductance + p.slope * e;
    } else {
        diodeFromExponential<type>(e, d.current, d.conductance, d.curvature);
        d.exponential = 0.0;
        f = d.current + linear;
        fPrime = d.conductance + p.slope;
    }
    if (p.evaluations < rescueAfterEvaluations) {
        p.iterates[p.evaluations - 1] = iterate;
        p.residuals[p.evaluations - 1] = f;
    } else {
        narrowBracket(iterate, f, p.below, p.above);
    }
}

double DiodeClippingOpAmpStage::finish(const Problem& p, double v,
                                       const Newton::LastIterate<DiodeAtIterate>& solved)
{
    last = solved;
    // The output is the last iterate minus its step, not clamped to the
    // rails again: past a rail that step overshoots, by up to a few
    // hundred volts on the hottest signals a pedal sees, and that is the
    // model's sound. A solve whose state went far beyond anything the
    // supply could charge (after input no instrument makes) can end on a
    // step of any size and feed it back until it overflows; such an
    // output is held at a bound no real signal reaches.
    const double out = std::min(std::max(v, -maxOvershoot), maxOvershoot);
    iCf = r * ((out - p.x) - (y1 - x1)) - iCf;
    iCh = q * (p.vA - vA) - iCh;
    y2 = y1;
    vA = p.vA;
    x1 = p.x;
    y1 = out;
    return out;
}

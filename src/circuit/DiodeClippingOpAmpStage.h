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

    inline double process(double x);

    // Several stages one sample each, their Newton solves in lock step.
    template <int Lanes>
    static void processLanes(DiodeClippingOpAmpStage* const (&stages)[Lanes],
                             const double (&x)[Lanes], double (&y)[Lanes]);

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
    // Coefficients of the Newton residual for one clipping type.
    struct NewtonCoefficients {
        double r; // 2·fs·Cf
        double s; // 2·fs·Cf + Gg: the residual's y term
        double t; // −2·fs·Cf − Gh − Gg: the residual's x term
        double K; // diode slope constant Is/Vd
        double slope; // s again: the linear part of f′
    };

    // Diode current i and its slope g at the diode voltage d (output minus
    // inverting input).
    template <ClippingTypes type>
    static double diode(double d, double& i, double& g, double& curvature);

    template <ClippingTypes type, int Lanes>
    static void processLanesOfType(DiodeClippingOpAmpStage* const (&stages)[Lanes],
                                   const double (&x)[Lanes], double (&y)[Lanes]);

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

    // Pre-computed.
    double p = 0.0; // 1/(2·fs·Ch + Gh)
    double q = 0.0; // 2·fs·Ch
    NewtonCoefficients symmetric{};
    NewtonCoefficients asymmetric{};
    double rUpdate = 0.0; // 2·Cf·fs, state update of iCf
    double qUpdate = 0.0; // 2·Ch·fs, state update of iCh

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

    // Newton's own steps get this many tries before the rescue; audio that
    // the oversampler has band-limited converges well within them.
    static constexpr int rescueAfterEvaluations = 8;
    static constexpr double rescueBracketWidth = 1e-4; // V
    // Enough to take ±4.5 V down to the width; a NaN residual (a NaN input in
    // the other lane's wake) must not keep the audio thread here.
    static constexpr int maxRescueHalvings = 20;
    // e² (e³ for the asymmetric pair) stays finite below this diode voltage.
    static constexpr double maxScaledDiodeVoltage = 7.0; // V

    // Newton start from the last solution.
    struct DiodeAtIterate {
        double current;     // diode current
        double conductance; // its slope
        double curvature;   // its second derivative
        double voltage;     // diode voltage
    };
    Newton::LastIterate<DiodeAtIterate> last;
};

// Returns the exponential e it was computed from.
template <ClippingTypes type>
inline double DiodeClippingOpAmpStage::diode(double d, double& i, double& g, double& curvature)
{
    if (type == AsymmetricClipping) {
        // One diode forward for d > 0 (exp(d/Vd) = e²), two in series for d < 0.
        const double e = Newton::boundedExpAndInverse(invTwoVd * d, Newton::maxSquaredExponent);
        const double inverse = 1.0 / e;
        i = Is * (e * e - inverse);
        g = K * (e * e + 0.5 * inverse);
        curvature = Is * invTwoVd * invTwoVd * (4.0 * e * e - inverse);
        return e;
    }
    const double e = Newton::boundedExpAndInverse(invVd * d, Newton::maxExponent);
    const double inverse = 1.0 / e;
    i = Is * (e - inverse);
    g = K * (e + inverse);
    curvature = invVd * invVd * i;
    return e;
}

template <int Lanes>
void DiodeClippingOpAmpStage::processLanes(DiodeClippingOpAmpStage* const (&stages)[Lanes],
                                           const double (&x)[Lanes], double (&y)[Lanes])
{
    bool sameType = true;
    for (int k = 1; k < Lanes; ++k)
        sameType = sameType && stages[k]->clippingType == stages[0]->clippingType;
    if (!sameType) {
        for (int k = 0; k < Lanes; ++k)
            y[k] = Newton::processAlone(stages[k], x[k]);
        return;
    }
    if (stages[0]->clippingType == AsymmetricClipping)
        processLanesOfType<AsymmetricClipping>(stages, x, y);
    else
        processLanesOfType<SymmetricClipping>(stages, x, y);
}

template <ClippingTypes type, int Lanes>
void DiodeClippingOpAmpStage::processLanesOfType(DiodeClippingOpAmpStage* const (&stages)[Lanes],
                                                 const double (&x)[Lanes], double (&y)[Lanes])
{
    double vA[Lanes], linearPart[Lanes], v[Lanes];
    for (int k = 0; k < Lanes; ++k) {
        const DiodeClippingOpAmpStage& s = *stages[k];
        const NewtonCoefficients& c = type == AsymmetricClipping ? s.asymmetric : s.symmetric;
        // Rh–Ch node, trapezoidal: (x − vA)·Gh = current into Ch.
        vA[k] = (x[k] * s.Gh + s.q * s.vA + s.iCh) * s.p;
        // Feedback balance at the inverting input, currents through Rg, Cf
        // and the diodes against the current into Rh:
        //   (y − x)·Gg + iCf(y) + i(y − x) = (x − vA)·Gh
        // collected as f(v) = i(v − x) + s·v + [Gh·vA + r·(x1 − y1) + t·x − iCf].
        linearPart[k] = s.Gh * vA[k] + c.r * (s.x1 - s.y1) + c.t * x[k] - s.iCf;

        // Start from the last output moved by the residual expanded about the
        // last iterate: first the linear step, then one on the second-order
        // term, which is the diodes' curvature alone (the linear residual is
        // zero there by construction). It is closer than the linear
        // extrapolation 2·y1 − y2 on every signal we measured, by far on hard
        // edges, where the extrapolation tends to land on the far side of the
        // diodes' knee. The rails clamp it like any iterate.
        const DiodeAtIterate& d = s.last.aux;
        const double inverseSlope = 1.0 / (d.conductance + c.slope);
        const double currentAtLast = d.current + d.conductance * (s.y1 - x[k] - d.voltage);
        const double linearised =
            s.y1 - (currentAtLast + c.s * s.y1 + linearPart[k]) * inverseSlope;
        const double delta = linearised - x[k] - d.voltage;
        const double slopeChange = d.curvature * delta * inverseSlope;
        // Only while the expansion holds: far from the last iterate the
        // quadratic would throw the start further than the line did.
        v[k] = std::abs(slopeChange) < 0.5
                   ? linearised - 0.5 * d.curvature * delta * delta * inverseSlope * (1.0 - slopeChange)
                   : linearised;
        // After a sample that drove the diodes to the edge of the
        // representable, the expansion itself can overflow; the last output
        // is then as good a start as any, since the rails and the bracket
        // rescue do the rest.
        if (!std::isfinite(v[k]))
            v[k] = s.y1;
    }

    // The residual rises with v (the diodes' and the resistors' currents
    // both grow with the output), so every evaluation tells on which side of
    // it the root lies. At v = x the diodes carry nothing and the residual is
    // linear: a free first bracket point.
    double below[Lanes], above[Lanes];
    int evaluations[Lanes];
    for (int k = 0; k < Lanes; ++k) {
        const DiodeClippingOpAmpStage& s = *stages[k];
        const NewtonCoefficients& c = type == AsymmetricClipping ? s.asymmetric : s.symmetric;
        below[k] = -rail;
        above[k] = rail;
        evaluations[k] = 0;
        if (std::abs(x[k]) < rail)
            narrowBracket(x[k], c.s * x[k] + linearPart[k], below[k], above[k]);
    }

    Newton::LastIterate<DiodeAtIterate> last[Lanes];
    Newton::solve(v, last, [&](int k, double& iterate, double& f, double& fPrime,
                               DiodeAtIterate& d) {
        const DiodeClippingOpAmpStage& s = *stages[k];
        const NewtonCoefficients& c = type == AsymmetricClipping ? s.asymmetric : s.symmetric;
        auto residual = [&](double at, DiodeAtIterate& diodeAt) {
            diodeAt.voltage = at - x[k];
            diode<type>(diodeAt.voltage, diodeAt.current, diodeAt.conductance, diodeAt.curvature);
            return diodeAt.current + c.s * at + linearPart[k];
        };
        // Every iterate is held to the rails before it is used.
        iterate = MathUtils::Clipping::clipBetween(iterate, -rail, rail);
        // From a start far up the diodes' exponential, Newton creeps down one
        // diode voltage (about 22 mV) per step and can run out of steps
        // before it arrives, leaving a wrong output and a burst of CPU. Once
        // that is clear, restart the steps from the bracketed root instead.
        if (++evaluations[k] == rescueAfterEvaluations) {
            for (int halving = 0;
                 halving < maxRescueHalvings && above[k] - below[k] > rescueBracketWidth;
                 ++halving) {
                const double middle = 0.5 * (below[k] + above[k]);
                DiodeAtIterate unused;
                narrowBracket(middle, residual(middle, unused), below[k], above[k]);
            }
            iterate = MathUtils::Clipping::clipBetween(0.5 * (below[k] + above[k]), -rail, rail);
        }

        d.voltage = iterate - x[k];
        const double e = diode<type>(d.voltage, d.current, d.conductance, d.curvature);
        const double linear = c.s * iterate + linearPart[k];
        if (std::abs(d.voltage) < maxScaledDiodeVoltage) {
            // f and f′ both multiplied by e: the same step, but its division
            // waits only for the exponential, not also for 1/e.
            const double eCubedOrSquared = type == AsymmetricClipping ? e * e * e : e * e;
            const double reverseShare = type == AsymmetricClipping ? 0.5 : 1.0;
            f = Is * (eCubedOrSquared - 1.0) + linear * e;
            fPrime = K * (eCubedOrSquared + reverseShare) + c.slope * e;
        } else {
            f = d.current + linear;
            fPrime = d.conductance + c.slope;
        }
        narrowBracket(iterate, f, below[k], above[k]);
    });

    for (int k = 0; k < Lanes; ++k) {
        DiodeClippingOpAmpStage& s = *stages[k];
        s.last = last[k];
        // The output is the last iterate minus its step, not clamped to the
        // rails again: past a rail that step overshoots, by up to a few
        // hundred volts on the hottest signals a pedal sees, and that is the
        // model's sound. A solve whose state went far beyond anything the
        // supply could charge (after input no instrument makes) can end on a
        // step of any size and feed it back until it overflows; such an
        // output is held at a bound no real signal reaches.
        const double out = std::min(std::max(v[k], -maxOvershoot), maxOvershoot);
        s.iCf = s.rUpdate * ((out - x[k]) - (s.y1 - s.x1)) - s.iCf;
        s.iCh = s.qUpdate * (vA[k] - s.vA) - s.iCh;
        s.y2 = s.y1;
        s.vA = vA[k];
        s.x1 = x[k];
        s.y1 = out;
        y[k] = out;
    }
}

inline double DiodeClippingOpAmpStage::process(double x)
{
    return Newton::processAlone(this, x);
}

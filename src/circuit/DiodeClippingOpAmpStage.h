#pragma once

#include <cstdint>

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

    double process(double x);

    double getGainResistor() const { return Rg; }
    double getHPFCap() const { return Ch; }
    ClippingTypes getClippingType() const { return clippingType; }
    int lastIterations() const { return iterations; }

    static constexpr double Is = 1.084e-8;            // one diode's saturation current, A
    static constexpr double invVd = 45.7596899;       // one diode, per volt
    static constexpr double invTwoVd = 22.87984495;   // two diodes in series, per volt
    static constexpr double K = 4.96035038516e-07;    // Is/Vd, A/V
    static constexpr double rail = 4.5;               // op-amp output limit, V

private:
    // Coefficients of the Newton residual for one clipping type.
    struct NewtonCoefficients {
        double r; // 2·fs·Cf
        double s; // 2·fs·Cf + Gg: the residual's y term
        double t; // −2·fs·Cf − Gh − Gg: the residual's x term
        double K; // diode slope constant Is/Vd
        double slope; // s again: the linear part of f′
    };

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

    int iterations = 0;
};

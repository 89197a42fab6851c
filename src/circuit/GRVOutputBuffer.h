#pragma once

// The pedal's output buffer: an emitter follower driven by the biased tone
// stage output, then Rb, the output coupling capacitor and the load.
//
//   x (base) ── transistor ── E ─Ra─ ground
//                             E ─Rb─ Q ─C─ O ─Rc─ ground   (output vO)
//
// C is a trapezoidal companion; vE is solved by Newton's method.
class GRVOutputBuffer {
public:
    explicit GRVOutputBuffer(double sampleRate);
    virtual ~GRVOutputBuffer() = default;

    void setSampleRate(double sampleRate);
    void optimize();
    void resetFilters();

    double process(double x);

    int lastIterations() const { return iterations; }

    static constexpr double Is = 6.7e-15;          // transistor saturation current, A
    static constexpr double invVt = 38.7596899;    // 1/Vt, per volt
    static constexpr double restEmitter = 3.86075; // emitter at rest for a 4.5 V base, V

private:
    // Components (fixed).
    const double C = 1e-5;      // output coupling capacitor, F
    const double Ra = 10000.0;  // emitter resistor to ground
    const double Rb = 100.0;    // series resistor between emitter and capacitor
    const double Rc = 10000.0;  // load resistor to ground
    const double Ga = 1.0 / Ra;
    const double Gb = 1.0 / Rb;
    const double Gc = 1.0 / Rc;

    // Pre-computed, with b = 2·fs·C, S = Gb·Gc + b·Gc + b·Gb and
    // A = −(Ga·Gb·Gc + b·(Ga·Gc + Ga·Gb + Gb·Gc)).
    double invS = 0.0;        // 1/S
    double A = 0.0;           // the residual's vE term
    double bGbGc = 0.0;       // b·Gb·Gc
    double IsS = 0.0;         // Is·S
    double GbGc = 0.0;        // Gb·Gc
    double minusIsS = 0.0;    // −Is·S
    double slopeCoeff = 0.0;  // −(1/Vt)·Is·S
    double slopeA = 0.0;      // A, the slope's constant term
    double bGb = 0.0;         // b·Gb
    double GcOverGb = 0.0;    // Gc/Gb
    double b = 0.0;           // 2·C·fs, state update of iC1

    double fs;

    // State.
    double vQ1 = restEmitter; // node Q at the previous sample
    double vO1 = 0.0;         // previous output
    double iC1 = 0.0;         // companion current of C, from Q towards O

    int iterations = 0;
};

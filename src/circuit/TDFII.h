#pragma once

// IIR filter of any order in transposed direct form II, with coefficients
// normalised so that a[0] = 1.
class TDFII {
public:
    explicit TDFII(int order);
    virtual ~TDFII();

    // Owns three arrays; never copied in this system.
    TDFII(const TDFII&) = delete;
    TDFII& operator=(const TDFII&) = delete;

    // a and b hold order+1 values each; everything is divided by a[0].
    void setCoefficients(const double* a, const double* b);

    double process(double x)
    {
        const double y = b[0] * x + z[0];
        for (int i = 1; i < order; ++i)
            z[i - 1] = b[i] * x + z[i] - a[i] * y;
        z[order - 1] = b[order] * x - a[order] * y;
        return y;
    }

    void clearHistory();
    void clearCoeffs();
    void reset();
    bool isFinite() const;

    int getOrder() const { return order; }
    const double* denominator() const { return a; }
    const double* numerator() const { return b; }
    const double* state() const { return z; }

private:
    int order;  // N >= 1
    double* a;  // a[0..N], a[0] = 1 after normalisation
    double* b;  // b[0..N]
    double* z;  // z[0..N−1] carry the state, z[N] stays 0
};

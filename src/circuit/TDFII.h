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
        if (order == 4) {
            // The tone network's order, unrolled: the same arithmetic.
            const double y = b[0] * x + z[0];
            z[0] = b[1] * x + z[1] - a[1] * y;
            z[1] = b[2] * x + z[2] - a[2] * y;
            z[2] = b[3] * x + z[3] - a[3] * y;
            z[3] = b[4] * x - a[4] * y;
            return y;
        }
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

#pragma once
// A plain double-precision model of the vocoder, written from its difference equations and the
// gate's description rather than from the plug-in's loops, so that the tests can hold the
// plug-in's 32-bit output against it.
//
// Per band, with x the band's input and y its output:
//   band filter  y[n] = a0 x[n] + a1 x[n-1] - b1 y[n-1] - b2 y[n-2]
//   envelope     e[n] = in0 r[n] + in1 r[n-1] - fb e[n-1],  r = |y_speech|
//   product      p[n] = 500 * gain * e[n] * y_carrier[n]
// The output is the sum of the eight products, then the chopper gate:
//   g[n] = u[n] + u[n-1] + 0.96 g[n-1],  u = 1/45 during an on phase, 0 during an off phase,
// with the phases counted sample by sample (22050 samples first, then the half-period).
//
// Only the values the plug-in defines as 32-bit floats are rounded to floats here: the
// coefficients, the input samples and the scaled inputs that bands 2 to 8 read back. Every
// state and intermediate result is a double; the flush of the states is left out (it changes
// values below 1e-11 only).

#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/parameters.h"

namespace model {

constexpr int kBands = 8;
constexpr float kBandFrequencies[kBands] = {0.009f,   0.0124f,  0.01835f, 0.02695f,
                                            0.03955f, 0.05755f, 0.08515f, 0.125f};
constexpr float kDefaults[kNumParams] = {1.0f, 1.0f, 0.4f, 1.0f, 0.1f, 0.3f, 0.0f, 1.0f};

// An input sample below 1e-11 in magnitude, not a number or infinite is taken as 0.
inline double flushInput(float v) {
  const double m = std::fabs(static_cast<double>(v));
  return (m >= static_cast<double>(1e-11f) && m <= std::numeric_limits<float>::max())
             ? static_cast<double>(v)
             : 0.0;
}

struct Coefficients {
  float b1, b2, a0, a1;
};

// Resonator of one band: centre angle from the band's frequency (hertz times 3.1415 / 22050),
// bandwidth growing exponentially with the "filter" value.
inline Coefficients bandCoefficients(float normalisedFrequency, float filter) {
  double hz = static_cast<double>(normalisedFrequency) * 20000.0;
  if (hz < 50.0) hz = 50.0;
  const float angle = static_cast<float>(hz * static_cast<double>(0.00014247166f));
  double width = filter;
  if (width > 1.0) width = 1.0;
  if (!(width >= 0.0)) width = 0.0;
  const float bandwidth =
      static_cast<float>((std::exp(3.0 * width) - 1.0) * 0.05 * static_cast<double>(angle) * 0.4);
  const double k = std::sqrt(3.0 / 7.0);
  const double B = 1.0 / (k * std::tan(static_cast<double>(bandwidth) / 2.0) + 1.0);
  Coefficients c;
  c.b1 = static_cast<float>(-2.0 * B * std::cos(static_cast<double>(angle)));
  c.b2 = static_cast<float>(2.0 * B - 1.0);
  c.a0 = static_cast<float>(1.0 - B);
  c.a1 = -c.a0;
  return c;
}

struct EnvelopeCoefficients {
  float fb, in0, in1;
};

// Bilinear transform at 44100 Hz of 1 / (0.8 + tau s), tau = morph * 5 ms.
// Values outside 0 to 1 are clamped (NaN as 0): below 0 the smoother would be unstable.
inline EnvelopeCoefficients envelopeCoefficients(float morph) {
  double m = morph;
  if (m > 1.0) m = 1.0;
  if (!(m >= 0.0)) m = 0.0;
  const double a = m * 0.005 * 44100.0;
  const double b = static_cast<double>(0.8f) + 2.0 * a;
  EnvelopeCoefficients c;
  c.in0 = c.in1 = static_cast<float>(1.0 / b);
  c.fb = static_cast<float>((static_cast<double>(0.8f) - 2.0 * a) / b);
  return c;
}

inline int32_t gateHalfPeriod(float freq) {
  double f = freq;
  if (f > 1.0) f = 1.0;
  if (!(f >= 0.0)) f = 0.0;
  const int32_t samples = static_cast<int32_t>(44100.0 / (9.999 * (std::exp(7.0 * f) - 1.0) + 1.0));
  return samples < 1 ? 1 : samples;
}

// One second-order band filter. When the coefficients change between blocks, each product of
// the recurrence keeps the coefficient of the sample at which the plug-in formed it (its delay
// registers hold sums already weighted), so with c(n) the coefficients in force at sample n:
//   y[n] = a0(n) x[n] + a1(n-1) x[n-1] - b1(n-1) y[n-1] - b2(n-2) y[n-2].
struct Resonator {
  double x1 = 0, y1 = 0, y2 = 0;
  Coefficients c1 = {}, c2 = {};  // in force one and two samples back
  double step(const Coefficients& c, double x) {
    const double y = static_cast<double>(c.a0) * x + static_cast<double>(c1.a1) * x1 -
                     static_cast<double>(c1.b1) * y1 - static_cast<double>(c2.b2) * y2;
    x1 = x;
    y2 = y1;
    y1 = y;
    c2 = c1;
    c1 = c;
    return y;
  }
};

// The band's envelope smoother, with the same timing of its coefficients:
//   e[n] = in0(n) r[n] + in1(n-1) r[n-1] - fb(n-1) e[n-1].
struct Envelope {
  double r1 = 0, e1 = 0;
  EnvelopeCoefficients c1 = {};
  double step(const EnvelopeCoefficients& c, double r) {
    const double e = static_cast<double>(c.in0) * r + static_cast<double>(c1.in1) * r1 -
                     static_cast<double>(c1.fb) * e1;
    r1 = r;
    e1 = e;
    c1 = c;
    return e;
  }
};

// The chopper gate: phases counted sample by sample, the first one 22050 samples on, every
// later one the half-period in force when it begins; the gain smoothed by
// g[n] = u[n] + u[n-1] + 0.96 g[n-1]. `step` gives the gain of the next sample.
struct Gate {
  int32_t halfPeriod = 3959;
  int32_t countdown = 22050;
  bool on = true;
  double u1 = 0.0, g1 = 0.0;

  double step() {
    const double u = on ? static_cast<double>(0.02222222f) : 0.0;
    const double g = u + u1 + static_cast<double>(0.96f) * g1;
    u1 = u;
    g1 = g;
    if (--countdown == 0) {
      on = !on;
      countdown = halfPeriod;
    }
    return g;
  }
};

class VocoderModel {
 public:
  VocoderModel() {
    for (int i = 0; i < 8; ++i) setParameter(i, kDefaults[i]);
  }

  void setParameter(int index, float value) {
    params_[index] = value;
    if (index == kFilter)
      for (int b = 0; b < kBands; ++b) coeffs_[b] = bandCoefficients(kBandFrequencies[b], value);
    if (index == kMorph) env_ = envelopeCoefficients(value);
    if (index == kFreq) gate_.halfPeriod = gateHalfPeriod(value);
  }

  const Coefficients& coefficients(int band) const { return coeffs_[band - 1]; }
  const EnvelopeCoefficients& envelope() const { return env_; }
  const Gate& gate() const { return gate_; }

  // One block of n samples from the two host inputs to the mono output.
  void process(const float* in1, const float* in2, double* out, int n) {
    const bool swapped = params_[kSwitchCS] != 0.0f;
    const bool gated = params_[kMulchIO] == 1.0f;
    for (int k = 0; k < n; ++k) {
      const double speech = flushInput(swapped ? in2[k] : in1[k]);
      const double carrier = flushInput(swapped ? in1[k] : in2[k]);
      // Bands 2 to 8 see the inputs after they were scaled and stored as floats; when both
      // roles share one buffer the carrier-side value is the one left there.
      const float speechScaled = static_cast<float>(speech * params_[kCarrier]);
      const float carrierScaled = static_cast<float>(carrier * params_[kSpeech]);
      double sum = 0.0;
      for (int b = 0; b < kBands; ++b) {
        const double s = b == 0 ? speech : (sharedBuffer_ ? carrierScaled : speechScaled);
        const double c = b == 0 ? carrier : carrierScaled;
        const double ys = speechSide_[b].step(coeffs_[b], s);
        const double e = envelopes_[b].step(env_, std::fabs(ys));
        const double yc = carrierSide_[b].step(coeffs_[b], c);
        sum += 500.0 * params_[kGain] * e * yc;
      }
      out[k] = gated ? sum * gate_.step() : sum;
    }
  }

  // The host hands one buffer as both inputs: band 1 reads the same sample for both roles, and
  // the carrier-side scaled value is what bands 2 to 8 see on both sides.
  void setSharedBuffer(bool shared) { sharedBuffer_ = shared; }

 private:
  float params_[kNumParams] = {};
  Coefficients coeffs_[kBands] = {};
  EnvelopeCoefficients env_ = {};
  Resonator speechSide_[kBands], carrierSide_[kBands];
  Envelope envelopes_[kBands];
  bool sharedBuffer_ = false;
  Gate gate_;
};

}  // namespace model

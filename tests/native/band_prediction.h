#pragma once
// What the filters' transfer functions predict for a steady sine through the vocoder, and the
// fit that measures it in a rendering: shared by the tests that hold the sound against physics.

#include <cmath>
#include <complex>
#include <vector>

#include "engine/channel_vocoder.h"

namespace band_prediction {

using Complex = std::complex<double>;

// Least-squares fit of x[k] ~ sum over the harmonics h in {1, 3, 5} of
// s_h sin(h w k) + c_h cos(h w k), plus a constant. Returns the fundamental as a phasor
// s_1 + j c_1, so that amplitude * sin(w k + phase) reads amplitude * e^(j phase).
inline Complex fundamentalPhasor(const std::vector<float>& x, int first, double w) {
  constexpr int kTerms = 7;
  double normal[kTerms][kTerms + 1] = {};
  for (size_t k = static_cast<size_t>(first); k < x.size(); ++k) {
    const double t = static_cast<double>(k);
    const double basis[kTerms] = {std::sin(w * t),
                                  std::cos(w * t),
                                  std::sin(3 * w * t),
                                  std::cos(3 * w * t),
                                  std::sin(5 * w * t),
                                  std::cos(5 * w * t),
                                  1.0};
    for (int i = 0; i < kTerms; ++i) {
      for (int j = 0; j < kTerms; ++j) normal[i][j] += basis[i] * basis[j];
      normal[i][kTerms] += basis[i] * x[k];
    }
  }
  for (int i = 0; i < kTerms; ++i) {  // Gauss-Jordan; the system is well conditioned
    for (int r = 0; r < kTerms; ++r) {
      if (r == i) continue;
      const double f = normal[r][i] / normal[i][i];
      for (int c = i; c <= kTerms; ++c) normal[r][c] -= f * normal[i][c];
    }
  }
  return Complex(normal[0][kTerms] / normal[0][0], normal[1][kTerms] / normal[1][1]);
}

// The band's centre in radians per sample: the angle whose cosine the tuning put into
// b1 = -2 B cos(angle), with b2 = 2 B - 1.
inline double centreAngle(const BandFilter& band) {
  const double b = (static_cast<double>(band.b2) + 1.0) / 2.0;
  return std::acos(-static_cast<double>(band.b1) / (2.0 * b));
}

// H(e^jw) = (a0 + a1 e^-jw) / (1 + b1 e^-jw + b2 e^-2jw) of one band's filters.
inline Complex bandResponse(const BandFilter& band, double w) {
  const Complex z1 = std::polar(1.0, -w);
  return (static_cast<double>(band.a0) + static_cast<double>(band.a1) * z1) /
         (1.0 + static_cast<double>(band.b1) * z1 + static_cast<double>(band.b2) * z1 * z1);
}

// The envelope smoother, in0 (1 + e^-jw) / (1 + fb e^-jw), with the coefficients for morph 1.0:
// tau = 5 ms, the bilinear transform of 1 / (0.8 + tau s) at the sample rate.
inline Complex envelopeResponse(double w, double rate) {
  const double a = 1.0 * 0.005 * rate;
  const double b = static_cast<double>(0.8f) + 2.0 * a;
  const double in = static_cast<float>(1.0 / b);
  const double fb = static_cast<float>((static_cast<double>(0.8f) - 2.0 * a) / b);
  const Complex z1 = std::polar(1.0, -w);
  return in * (1.0 + z1) / (1.0 + fb * z1);
}

// A sine A sin(w n) on both inputs passes every band j as A |H_j| sin(w n + phi_j). Rectified,
//   |sin t| = 2/pi - 4/(3 pi) cos 2t - 4/(15 pi) cos 4t - ...,
// and smoothed, the envelope is A |H_j| (2/pi E(0) - 4/(3 pi) |E(2w)| cos(2t + psi) - ...),
// E(0) = 1.25 being the smoother's gain at DC. Times the carrier band A |H_j| sin t, only the
// first two terms reach the frequency w:
//   A^2 |H_j|^2 (2/pi E(0) sin t + 2/(3 pi) |E(2w)| sin(t + psi)).
// So the output's fundamental phasor is 500 gain A^2 K sum_j |H_j| H_j(e^jw), with
// K = 2/pi E(0) + 2/(3 pi) E(e^j2w).
inline Complex predictedFundamental(const ChannelVocoder& vocoder, double w, double amplitude,
                                    double gain) {
  constexpr double kPi = 3.14159265358979323846;
  const double rate = vocoder.getSampleRate();
  const Complex k = 2.0 / kPi * envelopeResponse(0.0, rate) +
                    2.0 / (3.0 * kPi) * envelopeResponse(2.0 * w, rate);
  Complex sum = 0.0;
  for (int32_t band = 1; band <= kNumBands; ++band) {
    BandFilter record;
    vocoder.getBand(band, record);
    const Complex h = bandResponse(record, w);
    sum += std::abs(h) * h;
  }
  return 500.0 * gain * amplitude * amplitude * k * sum;
}

}  // namespace band_prediction

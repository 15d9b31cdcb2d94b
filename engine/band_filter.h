#pragma once
// One band of the vocoder: the four coefficients that the band's two filters share, and the
// band's five state values.
//
// Both filters compute  y[n] = a0 x[n] + a1 x[n-1] - b1 y[n-1] - b2 y[n-2],  that is
//   H(z) = s (1 - B)(1 - z^-1) / (1 - 2B cos(angle) z^-1 + (2B - 1) z^-2),
// a resonance at the centre angle with a zero at 0 Hz only; s is the input scale. That is the
// band-pass s (1 - B)(1 - z^-2) / (...), of gain s at its centre, divided by 1 + z^-1, which
// takes away its zero at the Nyquist frequency: so the gain at the centre angle is
// s / (2 cos(angle / 2)), and the nearer a frequency lies to the Nyquist frequency, the more of
// it passes. They run in transposed direct form II: z1 and z2 are the two delay registers of the
// speech-side and of the carrier-side filter; envZ1 is the delay of the band's envelope smoother.

struct BandFilter {
  // Tunes the band: angle and bandwidth in radians per sample, and the scale of the input
  // weights (band_tuning.h). The states are left alone.
  void setCoefficients(float angle, float bandwidth, float inputScale = 1.0f);
  void setState(float newSpeechZ1, float newSpeechZ2, float newCarrierZ1, float newCarrierZ2,
                float newEnvZ1);

  float b1 = 0.0f;  // -2 B cos(angle): weight of the previous output
  float b2 = 0.0f;  // 2 B - 1: weight of the output two samples back
  float a0 = 0.0f;  // s (1 - B): weight of the current input
  float a1 = 0.0f;  // always exactly -a0: weight of the previous input
  float speechZ1 = 0.0f;
  float speechZ2 = 0.0f;
  float carrierZ1 = 0.0f;
  float carrierZ2 = 0.0f;
  float envZ1 = 0.0f;
};

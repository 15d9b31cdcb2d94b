#pragma once
// The sample rates the vocoder is tuned for. Every frequency and time constant is derived from
// the rate in force, so that the bands sit at the same frequencies in hertz and the envelopes
// and the gate keep their times at any supported rate. The plug-in was designed at 44100 Hz,
// and at that rate every coefficient has exactly the value it was designed with.

#include <cmath>

constexpr float kDefaultSampleRate = 44100.0f;

// A band filter has a zero at 0 Hz but none at the Nyquist frequency, so the nearer a frequency
// lies to the Nyquist frequency, the more of it the band lets through: above about a fifth of
// the rate, a band's skirts stand higher than at 44100 Hz. The tuning holds each band's level at
// its centre, not its skirts. From 22050 Hz on, the top bands' skirts keep tones between and just
// above them within 1 dB of their level at 44100 Hz; at the default width a tone between the two
// top bands would come out 1.3 dB louder at 16000 Hz, 6.5 dB louder at 8000 Hz.
constexpr double kLowestSampleRate = 22050.0;
constexpr double kHighestSampleRate = 384000.0;

inline bool isSupportedSampleRate(double rate) {
  return rate >= kLowestSampleRate && rate <= kHighestSampleRate;  // false for NaN
}

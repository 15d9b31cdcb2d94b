#pragma once
// The sample rates the vocoder is tuned for. Every frequency and time constant is derived from
// the rate in force, so that the bands sit at the same frequencies in hertz and the envelopes
// and the gate keep their times at any supported rate. The plug-in was designed at 44100 Hz,
// and at that rate every coefficient has exactly the value it was designed with.

#include <cmath>

constexpr float kDefaultSampleRate = 44100.0f;

// The eighth band's centre, 2500 Hz, stays below the Nyquist frequency from 8000 Hz on.
constexpr double kLowestSampleRate = 8000.0;
constexpr double kHighestSampleRate = 384000.0;

inline bool isSupportedSampleRate(double rate) {
  return rate >= kLowestSampleRate && rate <= kHighestSampleRate;  // false for NaN
}

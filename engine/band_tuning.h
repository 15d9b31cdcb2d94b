#pragma once
// Where each band sits, how wide it is and how loud: its centre angle and bandwidth, in radians
// per sample, and the scale of its input weights, from its normalised centre frequency, the
// "filter" width and the sample rate. The centres stay at the same frequencies in hertz at every
// rate, and the bandwidth is a fixed fraction of the centre angle: 0.02 (e^(3 width) - 1), from
// 0 at width 0.0 through 0.0464 at the default 0.4 to 0.3817 at 1.0; so each band keeps its
// width in hertz too.
//
// Its level would not keep: a band filter's gain at its centre is 1 / (2 cos(angle / 2))
// (band_filter.h), 0.500 to 0.508 for the eight bands at 44100 Hz but 0.534 for the top band at
// 22050 Hz (0.900 at 8000 Hz), as its centre comes nearer the Nyquist frequency; and a vocoded
// band, a speech band times a carrier band, takes that gain twice. The input scale takes it back,
// so that every band has its gain at 44100 Hz at its centre, at every rate.

#include "engine/band_filter_bank.h"

// Normalised centre frequencies of bands 1 to 8; times kFrequencyScale they are the centres
// in hertz: 180, 248, 367, 539, 791, 1151, 1703 and 2500 Hz.
constexpr float kBandFrequencies[kNumBands] = {0.009f,   0.0124f,  0.01835f, 0.02695f,
                                               0.03955f, 0.05755f, 0.08515f, 0.125f};

struct BandTuning {
  float angle;
  float bandwidth;
  // cos(angle / 2) / cos(angle at 44100 Hz / 2), exactly 1 at 44100 Hz
  float inputScale;
};

// `width` is clamped into 0 to 1 first (not a number counts as 0).
BandTuning tuneBand(float frequency, float width, float sampleRate);

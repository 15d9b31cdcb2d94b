#pragma once
// The vocoder's sound, with no host around it: eight band filters measure the speech's band
// envelopes and shape the carrier's bands with them, and the chopper gate can switch the sum on
// and off. It owns everything it needs by value (the bands' coefficients and states, the
// envelope smoothing, the gate, the work buffer) and allocates nothing.
//
// Threads: the settings (the eight parameters and the sample rate) may be set and read on any
// thread while the audio thread is inside `process`. A setter only stores the value; the audio
// thread derives every coefficient at the start of a slice, when a setting changed since the
// last one, so a change applies within the current or the next block, and the coefficients are
// never seen half changed. The gains are read once per slice, the two switches once per call.

#include <cstdint>

#include "engine/band_filter_bank.h"
#include "engine/chopper_gate.h"
#include "engine/envelope_smoothing.h"
#include "engine/parameters.h"
#include "engine/relaxed_atomic.h"
#include "engine/sample_rate.h"

constexpr int32_t kSliceLength = 3000;  // the longest stretch processed at once

class ChannelVocoder {
 public:
  // Starts with the parameter defaults of the parameter table, all states at 0.0 and the gate
  // in an on phase of half a second. An unsupported rate counts as kDefaultSampleRate.
  explicit ChannelVocoder(float sampleRate = kDefaultSampleRate);

  ChannelVocoder(const ChannelVocoder&) = delete;
  ChannelVocoder& operator=(const ChannelVocoder&) = delete;

  // Any thread. Parameter indices outside 0 to 7 are ignored (and read as 0.0); values are
  // kept as given, and the formulas clamp what they must.
  void setParameter(int32_t index, float value);
  float getParameter(int32_t index) const;
  // Any thread. A rate outside the supported range (isSupportedSampleRate) is ignored.
  void setSampleRate(float rate);
  float getSampleRate() const { return sampleRate; }

  // Audio thread. Vocodes `frames` samples: reads the speech from input 1 and the carrier from
  // input 2 (swapped when "switch C/S" is not 0.0), writes the same samples to both outputs
  // and leaves in each input buffer its flushed samples times its level parameter, which is
  // what bands 2 to 8 read. Any buffers may be the same or overlap; counts at or below zero do
  // nothing, longer blocks run in slices.
  void process(float* in1, float* in2, float* out1, float* out2, int32_t frames);
  // The same for inputs that must not be written: bands 2 to 8 read each input's flushed
  // samples times its level as if they had been written back to a buffer of its own.
  void processKeepingInputs(const float* in1, const float* in2, float* out1, float* out2,
                            int32_t frames);

  // Audio thread: derives every coefficient that depends on a setting changed since the last
  // slice, as the next slice would.
  void retune();

  // A host's "activate": clears every band's filter and envelope states and puts the gate back
  // into its first phase (on, half a second, smoother at 0.0); keeps the settings, the
  // coefficients derived from them and the band kernel, so what follows is what a new vocoder
  // given the same settings renders. Audio thread, or any thread while no processing runs.
  void reset();

  // Runs the band kernel `kernel` from now on, or the SSE2 kernel where the processor cannot
  // run it (band_kernel_choice.h says which a new vocoder takes). Audio thread, or any thread
  // while no processing runs: the benchmark and the tests pin each kernel in turn.
  void useKernel(BandKernelKind kernel) { bank.useKernel(kernel); }
  BandKernelKind kernel() const { return bank.kernel(); }

  // Views for tests and tools: the audio thread's, or anyone's while no processing runs.
  void getBand(int32_t band, BandFilter& out) const { bank.getBand(band, out); }
  const EnvelopeSmoothing& envelope() const { return smoothing; }
  const ChopperGate& gate() const { return chopperGate; }
  const BandFilterBank::StretchTotals& stretches() const { return bank.stretches(); }

 private:
  struct Tuning {
    float sampleRate, filter, morph, freq;
  };

  void tune(const Tuning& wanted, bool everything);
  template <bool kWriteBack, typename Sample>
  void run(Sample* in1, Sample* in2, float* out1, float* out2, int32_t frames);
  template <bool kWriteBack, typename Sample>
  void takeInputs(Sample* speechIn, Sample* carrierIn, int32_t n);
  void writeOutputs(float* out1, float* out2, int32_t n);

  RelaxedAtomic<float> values[kNumParams];
  RelaxedAtomic<float> sampleRate;

  // Audio thread only: what the coefficients were derived from, and the coefficients.
  Tuning tuned;
  BandFilterBank bank;
  EnvelopeSmoothing smoothing;
  ChopperGate chopperGate;

  // One slice's summed band products, the speech and carrier inputs of the bands as pairs per
  // sample, and the gate's gain for each sample.
  float work[kSliceLength];
  float speechPairs[2 * kSliceLength];
  float carrierPairs[2 * kSliceLength];
  float gateGains[kSliceLength];
};

#pragma once
// The vocoder's processing in its plain form, kept to hold the plug-in's faster form against:
// band 1 runs over the whole block, then bands 2 to 8 one after another, each over the whole
// block and adding its product into the work buffer, then the chopper gate or the copy writes
// both outputs. Every operation is written as the arithmetic reads, one band and one sample at
// a time. The plug-in runs the eight bands side by side; the tests require the two to agree bit
// for bit: every output sample, every sample written back to the inputs and every state value.
//
// The model keeps its own band and gate states and takes its settings from a ChannelVocoder at
// the start of each block: the parameters and the sample rate, from which it derives the bands'
// coefficients, the envelope coefficients and the gate's with the engine's own tuning. The
// states start as the vocoder's stand when the model is made.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/band_filter.h"
#include "engine/band_tuning.h"
#include "engine/channel_vocoder.h"
#include "engine/chopper_gate.h"
#include "engine/envelope_smoothing.h"
#include "engine/flush.h"

namespace reference {

// One band: four coefficients and five states, as plain floats.
struct Band {
  float b1, b2, a0, a1;
  float speechZ1, speechZ2, carrierZ1, carrierZ2, envZ1;
};

struct Gains {
  float speechSide;   // parameter 0, "carrier"
  float carrierSide;  // parameter 1, "speech"
  float gain;         // parameter 5
  float envIn0, envIn1, envFb;
};

// One band pass over n samples. Band 1 flushes the inputs, writes them back scaled and stores
// its product; the others read the scaled samples and add theirs.
inline void bandPass(Band& b, bool firstBand, float* speech, float* carrier, float* work,
                     int32_t n, const Gains& g) {
  for (int32_t k = 0; k < n; ++k) {
    float s, c;
    if (firstBand) {
      s = flush(speech[k]);
      c = flush(carrier[k]);
      speech[k] = s * g.speechSide;
      carrier[k] = c * g.carrierSide;
    } else {
      s = speech[k];
      c = carrier[k];
    }

    const float ys = b.a0 * s + b.speechZ1;
    b.speechZ1 = flush(b.a1 * s + b.speechZ2 - b.b1 * ys);
    b.speechZ2 = flush(-b.b2 * ys);

    const float r = std::fabs(ys);
    const float e = g.envIn0 * r + b.envZ1;
    b.envZ1 = flush(g.envIn1 * r - g.envFb * e);

    const float yc = b.a0 * c + b.carrierZ1;
    b.carrierZ1 = flush(b.a1 * c + b.carrierZ2 - b.b1 * yc);
    b.carrierZ2 = flush(-b.b2 * yc);

    const float product = e * yc * g.gain * 500.0f;
    if (firstBand)
      work[k] = product;
    else
      work[k] += product;
  }
}

struct Gate {
  float z;
  int32_t countdown;
  int32_t on;
};

// The chopper gate over n samples of the work buffer, phase by phase.
inline void chopperGate(Gate& gate, const ChopperGate& coefficients, const float* work,
                        float* out1, float* out2, int32_t n) {
  const float gateIn = coefficients.drive();
  const float gateFb = coefficients.feedback();
  const int32_t halfPeriod = coefficients.halfPeriod();
  int32_t remaining = n;
  int32_t position = 0;
  while (remaining > 0) {
    int32_t run;
    float drive = gate.on == 1 ? 1.0f : 0.0f;
    if (remaining < gate.countdown) {
      run = remaining;
      gate.countdown -= remaining;
      remaining = 0;
    } else {
      run = gate.countdown;
      gate.countdown = halfPeriod;
      remaining -= run;
      gate.on = gate.on == 1 ? 0 : 1;
    }
    const float u = drive * gateIn;
    for (int32_t i = 0; i < run; ++i) {
      const float g = gate.z + u;
      gate.z = u - gateFb * g;
      const float y = finiteOrZero(work[position] * g);
      out1[position] = y;
      out2[position] = y;
      ++position;
    }
  }
}

class BandByBandVocoder {
 public:
  explicit BandByBandVocoder(const ChannelVocoder& source) : work_(kSliceLength) {
    for (int32_t i = 0; i < kNumBands; ++i) {
      BandFilter record;
      source.getBand(i + 1, record);
      bands_[i] = {record.b1,       record.b2,       record.a0,        record.a1,
                   record.speechZ1, record.speechZ2, record.carrierZ1, record.carrierZ2,
                   record.envZ1};
    }
    const ChopperGate& g = source.gate();
    gate_ = {g.smootherState(), g.countdown(), g.isOn() ? 1 : 0};
  }

  // What the vocoder's process does, with the settings `source` holds now. Longer blocks run in
  // slices of the work buffer's size.
  void processReplacing(const ChannelVocoder& source, float** inputs, float** outputs,
                        int32_t sampleFrames) {
    if (sampleFrames <= 0) return;
    const float rate = source.getSampleRate();
    for (int32_t i = 0; i < kNumBands; ++i) {
      const BandTuning t = tuneBand(kBandFrequencies[i], source.getParameter(kFilter), rate);
      BandFilter record;
      record.setCoefficients(t.angle, t.bandwidth, t.inputScale);
      bands_[i].b1 = record.b1;
      bands_[i].b2 = record.b2;
      bands_[i].a0 = record.a0;
      bands_[i].a1 = record.a1;
    }
    const EnvelopeSmoothing e = EnvelopeSmoothing::forMorph(source.getParameter(kMorph), rate);
    const Gains g = {source.getParameter(kCarrier), source.getParameter(kSpeech),
                     source.getParameter(kGain), e.envIn0, e.envIn1, e.envFb};
    ChopperGate gateCoefficients(rate);
    gateCoefficients.setHalfPeriod(source.getParameter(kFreq), rate);
    const bool swapped = !(source.getParameter(kSwitchCS) == 0.0f);
    const bool gated = source.getParameter(kMulchIO) == 1.0f;
    float* speech = swapped ? inputs[1] : inputs[0];
    float* carrier = swapped ? inputs[0] : inputs[1];
    for (int32_t done = 0; done < sampleFrames;) {
      const int32_t n = sampleFrames - done < kSliceLength ? sampleFrames - done : kSliceLength;
      for (int32_t i = 0; i < kNumBands; ++i)
        bandPass(bands_[i], i == 0, speech + done, carrier + done, work_.data(), n, g);
      if (gated) {
        chopperGate(gate_, gateCoefficients, work_.data(), outputs[0] + done, outputs[1] + done,
                    n);
      } else {
        for (int32_t k = 0; k < n; ++k) {
          const float y = finiteOrZero(work_[k]);
          outputs[0][done + k] = y;
          outputs[1][done + k] = y;
        }
      }
      done += n;
    }
  }

  const Band& band(int32_t number) const { return bands_[number - 1]; }
  const Gate& gate() const { return gate_; }

 private:
  Band bands_[kNumBands];
  Gate gate_;
  std::vector<float> work_;
};

}  // namespace reference

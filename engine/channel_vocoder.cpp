#include "engine/channel_vocoder.h"

#include "engine/band_tuning.h"
#include "engine/same_bits.h"

namespace {

float supportedRate(float rate) {
  return isSupportedSampleRate(static_cast<double>(rate)) ? rate : kDefaultSampleRate;
}

}  // namespace

ChannelVocoder::ChannelVocoder(float rate)
    : sampleRate(supportedRate(rate)),
      tuned(),
      bank(),
      smoothing(),
      chopperGate(supportedRate(rate)),
      work(),
      speechPairs(),
      carrierPairs(),
      gateGains() {
  for (int32_t i = 0; i < kNumParams; ++i) values[i] = kParameterTable[i].defaultValue;
  tune({sampleRate, values[kFilter], values[kMorph], values[kFreq]}, true);
}

void ChannelVocoder::setParameter(int32_t index, float value) {
  if (index >= 0 && index < kNumParams) values[index] = value;
}

float ChannelVocoder::getParameter(int32_t index) const {
  return index >= 0 && index < kNumParams ? values[index].load() : 0.0f;
}

void ChannelVocoder::setSampleRate(float rate) {
  if (isSupportedSampleRate(static_cast<double>(rate))) sampleRate = rate;
}

void ChannelVocoder::retune() {
  tune({sampleRate, values[kFilter], values[kMorph], values[kFreq]}, false);
}

void ChannelVocoder::reset() {
  for (int32_t band = 1; band <= kNumBands; ++band)
    bank.setState(band, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  chopperGate.restart(sampleRate);
}

// Recomputes what depends on a changed setting: the rate moves everything; "filter" the eight
// bands, "morph" the envelope smoothing, "freq" the gate's half-period. The band states, the
// envelope states and the gate's phase carry on.
void ChannelVocoder::tune(const Tuning& wanted, bool everything) {
  const bool rate = everything || !sameBits(wanted.sampleRate, tuned.sampleRate);
  if (rate) chopperGate.setSmoothing(wanted.sampleRate);
  if (rate || !sameBits(wanted.filter, tuned.filter)) {
    for (int32_t band = 1; band <= kNumBands; ++band) {
      const BandTuning t = tuneBand(kBandFrequencies[band - 1], wanted.filter, wanted.sampleRate);
      bank.setCoefficients(band, t.angle, t.bandwidth, t.inputScale);
    }
  }
  if (rate || !sameBits(wanted.morph, tuned.morph))
    smoothing = EnvelopeSmoothing::forMorph(wanted.morph, wanted.sampleRate);
  if (rate || !sameBits(wanted.freq, tuned.freq))
    chopperGate.setHalfPeriod(wanted.freq, wanted.sampleRate);
  tuned = wanted;
}

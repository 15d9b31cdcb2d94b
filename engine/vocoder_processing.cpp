// The vocoder's sound. Each band pass runs over the whole block before the next starts:
//
//   speech side   y_s = band filter of the speech input
//   envelope      e[n] = envIn0 |y_s[n]| + envIn1 |y_s[n-1]| - envFb e[n-1]
//   carrier side  y_c = band filter of the carrier input (same coefficients)
//   product       work[n] += 500 * gain * e[n] * y_c[n]
//
// Band 1 also flushes both input samples and writes them back scaled by the two input gains;
// bands 2 to 8 read the scaled samples. Every state value is flushed after every sample, so
// nothing the host passes can leave a NaN or an infinity in the state, and the outputs only
// ever receive finite samples.
//
// Audio thread only: nothing here allocates, locks, calls the system or throws.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/flush.h"
#include "engine/vocoder.h"

namespace {

constexpr float kProductScale = 500.0f;

}  // namespace

void Vocoder::processReplacing(float** inputs, float** outputs, int32_t sampleFrames) {
  if (sampleFrames <= 0 || inputs == nullptr || outputs == nullptr || workBuffer == nullptr)
    return;
  float* in1 = inputs[0];
  float* in2 = inputs[1];
  float* out1 = outputs[0];
  float* out2 = outputs[1];
  if (in1 == nullptr || in2 == nullptr || out1 == nullptr || out2 == nullptr) return;

  // The switches are read once per call; longer calls run in slices of the work buffer with
  // exactly the per-sample results of one long block.
  const bool swapped = !(switchCS == 0.0f);
  const bool gated = (mulchIO == 1.0f);
  float* speechIn = swapped ? in2 : in1;
  float* carrierIn = swapped ? in1 : in2;

  for (int32_t done = 0; done < sampleFrames;) {
    const int32_t n = std::min(sampleFrames - done, kWorkBufferSize);
    vocodeFirstBand(1, speechIn + done, carrierIn + done, workBuffer, n);
    for (int32_t band = 2; band <= kNumBands; ++band)
      vocodeBand(band, speechIn + done, carrierIn + done, workBuffer, n);
    if (gated) {
      applyChopperGate(workBuffer, out1 + done, out2 + done, n);
    } else {
      for (int32_t k = 0; k < n; ++k) {
        const float y = finiteOrZero(workBuffer[k]);
        out1[done + k] = y;
        out2[done + k] = y;
      }
    }
    done += n;
  }
}

// The accumulating entry does no vocoding: each input is copied to its output.
void Vocoder::process(float** inputs, float** outputs, int32_t sampleFrames) {
  if (sampleFrames <= 0 || inputs == nullptr || outputs == nullptr) return;
  const size_t bytes = sizeof(float) * static_cast<size_t>(sampleFrames);
  for (int channel = 0; channel < 2; ++channel) {
    if (inputs[channel] != nullptr && outputs[channel] != nullptr)
      std::memmove(outputs[channel], inputs[channel], bytes);
  }
}

void Vocoder::vocodeFirstBand(int32_t band, float* speechIn, float* carrierIn, float* work,
                              int32_t n) {
  runBand<true>(band, speechIn, carrierIn, work, n);
}

void Vocoder::vocodeBand(int32_t band, float* speechIn, float* carrierIn, float* work, int32_t n) {
  runBand<false>(band, speechIn, carrierIn, work, n);
}

template <bool kFirstBand>
void Vocoder::runBand(int32_t band, float* speechIn, float* carrierIn, float* work, int32_t n) {
  // The band's record is copied once: a retuning during the pass applies from the next pass,
  // and only the states are stored back, so a concurrent retuning is never overwritten.
  BandFilter record;
  bank->getBand(band, record);
  const float b1 = record.b1, b2 = record.b2, a0 = record.a0, a1 = record.a1;
  float speechZ1 = record.speechZ1, speechZ2 = record.speechZ2;
  float carrierZ1 = record.carrierZ1, carrierZ2 = record.carrierZ2;
  float envZ1 = record.envZ1;

  for (int32_t k = 0; k < n; ++k) {
    float s, c;
    if (kFirstBand) {
      s = flush(speechIn[k]);
      c = flush(carrierIn[k]);
      speechIn[k] = s * carrier;   // "carrier" scales the speech side
      carrierIn[k] = c * speech;   // "speech" scales the carrier side; with one shared buffer
                                   // this write lands last
    } else {
      s = speechIn[k];
      c = carrierIn[k];
    }

    const float ys = a0 * s + speechZ1;
    speechZ1 = flush(a1 * s + speechZ2 - b1 * ys);
    speechZ2 = flush(-b2 * ys);

    const float r = std::fabs(ys);
    const float e = envIn0 * r + envZ1;
    envZ1 = flush(envIn1 * r - envFb * e);

    const float yc = a0 * c + carrierZ1;
    carrierZ1 = flush(a1 * c + carrierZ2 - b1 * yc);
    carrierZ2 = flush(-b2 * yc);

    const float product = e * yc * gain * kProductScale;
    if (kFirstBand)
      work[k] = product;
    else
      work[k] += product;
  }

  bank->setState(band, speechZ1, speechZ2, carrierZ1, carrierZ2, envZ1);
}

// The envelope smoother is the bilinear transform at 44100 Hz of 1 / (0.8 + tau s), with
// tau = morph * 5 ms: a gain of 1.25 at DC. A morph value below 0 would put the pole outside the
// unit circle, so that every envelope grew without bound, and an infinite one would make the
// coefficients NaN: the formula takes morph clamped to 0 to 1 (NaN as 0), while the parameter
// keeps the value it was given.
void Vocoder::updateEnvelopeSmoothing() {
  float m = morph;
  if (m > 1.0f) m = 1.0f;
  if (!(m >= 0.0f)) m = 0.0f;
  const double a = static_cast<double>(m) * 0.005 * 44100.0;
  const double b = static_cast<double>(0.8f) + 2.0 * a;
  const float in = static_cast<float>(1.0 / b);
  envIn0 = in;
  envIn1 = in;
  envFb = static_cast<float>((static_cast<double>(0.8f) - 2.0 * a) / b);
}

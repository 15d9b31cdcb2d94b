// The vocoder's sound. For each band, in the order the bands are summed:
//
//   speech side   y_s = band filter of the speech input
//   envelope      e[n] = envIn0 |y_s[n]| + envIn1 |y_s[n-1]| - envFb e[n-1]
//   carrier side  y_c = band filter of the carrier input (same coefficients)
//   product       work[n] = sum over bands 1 to 8 of e[n] * y_c[n] * gain * kProductScale
//
// Band 1 also flushes both input samples and writes them back scaled by the two input levels;
// bands 2 to 8 read the scaled samples. Every state value is flushed after every sample, so
// nothing the host passes can leave a NaN or an infinity in the state, and the outputs only
// ever receive finite samples.
//
// A block runs in slices of at most kSliceLength samples, each in four passes over the slice:
// band 1's input handling, the gate's timeline, the eight bands side by side (the band kernel
// the vocoder picked, band_kernel.h), and the outputs. Each pass reads only what the ones before
// it wrote, so the results are those of running band 1 over the slice, then bands 2 to 8 one
// after another, then the gate or the copy, whatever buffers the host passes, the same one twice
// included.
//
// Audio thread only: nothing here allocates, locks, calls the system or throws.

#include <algorithm>
#include <cstdint>

#include "engine/channel_vocoder.h"
#include "engine/float4.h"

namespace {

bool overlapPartly(const float* a, const float* b, int32_t n) {
  const auto x = reinterpret_cast<uintptr_t>(a);
  const auto y = reinterpret_cast<uintptr_t>(b);
  const uintptr_t bytes = sizeof(float) * static_cast<uintptr_t>(n);
  return x != y && x < y + bytes && y < x + bytes;
}

// Four pairs (a[i], b[i]) to out[0] to out[7].
void storePairs(float* out, Float4 a, Float4 b) {
  _mm_storeu_ps(out, _mm_unpacklo_ps(a, b));
  _mm_storeu_ps(out + 4, _mm_unpackhi_ps(a, b));
}

}  // namespace

void ChannelVocoder::process(float* in1, float* in2, float* out1, float* out2, int32_t frames) {
  run<true>(in1, in2, out1, out2, frames);
}

void ChannelVocoder::processKeepingInputs(const float* in1, const float* in2, float* out1,
                                          float* out2, int32_t frames) {
  run<false>(in1, in2, out1, out2, frames);
}

template <bool kWriteBack, typename Sample>
void ChannelVocoder::run(Sample* in1, Sample* in2, float* out1, float* out2, int32_t frames) {
  if (frames <= 0 || in1 == nullptr || in2 == nullptr || out1 == nullptr || out2 == nullptr)
    return;

  // The switches are read once per call; longer calls run in slices of the work buffer with
  // exactly the per-sample results of one long block.
  const bool swapped = !(values[kSwitchCS] == 0.0f);
  const bool gated = values[kMulchIO] == 1.0f;
  Sample* speechIn = swapped ? in2 : in1;
  Sample* carrierIn = swapped ? in1 : in2;

  for (int32_t done = 0; done < frames;) {
    const int32_t n = std::min(frames - done, kSliceLength);
    // Settings changed on another thread apply from here; the gains and the envelope
    // coefficients hold for the whole slice.
    retune();
    takeInputs<kWriteBack>(speechIn + done, carrierIn + done, n);
    if (gated) chopperGate.plan(gateGains, n);
    const SliceInputs slice = {speechPairs, carrierPairs, gated ? gateGains : nullptr};
    bank.run(slice, {values[kGain], smoothing.envIn0, smoothing.envFb}, work, n);
    writeOutputs(out1 + done, out2 + done, n);
    done += n;
  }
}

// Band 1's input handling: each sample pair is flushed and kept for band 1, then written back
// scaled, the speech sample first. "carrier" scales the speech side and "speech" the carrier
// side; when both roles share one buffer, the carrier write lands last. Each pair (band 1's
// input, what the buffer holds afterwards) goes to `speechPairs` and `carrierPairs`. Without
// the write-back the pairs are what each buffer would hold were it the input's own.
template <bool kWriteBack, typename Sample>
void ChannelVocoder::takeInputs(Sample* speechIn, Sample* carrierIn, int32_t n) {
  const float speechSideGain = values[kCarrier];
  const float carrierSideGain = values[kSpeech];
  int32_t k = 0;
  // Four samples at a time, unless the two buffers overlap in part: then a write-back can land
  // on a sample not yet read, and only one sample at a time in order gives its result.
  if (!kWriteBack || !overlapPartly(speechIn, carrierIn, n)) {
    const bool oneBuffer = kWriteBack && speechIn == carrierIn;
    const Float4 speechSide = _mm_set1_ps(speechSideGain);
    const Float4 carrierSide = _mm_set1_ps(carrierSideGain);
    for (; k + 4 <= n; k += 4) {
      const Float4 s = flush4(_mm_loadu_ps(speechIn + k));
      const Float4 c = flush4(_mm_loadu_ps(carrierIn + k));
      const Float4 speechBack = _mm_mul_ps(s, speechSide);
      const Float4 carrierBack = _mm_mul_ps(c, carrierSide);
      if constexpr (kWriteBack) {
        _mm_storeu_ps(const_cast<float*>(speechIn) + k, speechBack);
        _mm_storeu_ps(const_cast<float*>(carrierIn) + k, carrierBack);
      }
      storePairs(speechPairs + 2 * k, s, oneBuffer ? carrierBack : speechBack);
      storePairs(carrierPairs + 2 * k, c, carrierBack);
    }
  }
  const int32_t rest = k;
  for (; k < n; ++k) {
    const float s = flush(speechIn[k]);
    const float c = flush(carrierIn[k]);
    speechPairs[2 * k] = s;
    carrierPairs[2 * k] = c;
    if constexpr (kWriteBack) {
      const_cast<float*>(speechIn)[k] = s * speechSideGain;
      const_cast<float*>(carrierIn)[k] = c * carrierSideGain;
    } else {
      speechPairs[2 * k + 1] = s * speechSideGain;
      carrierPairs[2 * k + 1] = c * carrierSideGain;
    }
  }
  if constexpr (kWriteBack) {
    for (k = rest; k < n; ++k) {
      speechPairs[2 * k + 1] = speechIn[k];
      carrierPairs[2 * k + 1] = carrierIn[k];
    }
  }
}

// Both outputs get the same finite samples; the work buffer is read before either is written,
// so outputs that are the input buffers, or one buffer twice, are fine.
void ChannelVocoder::writeOutputs(float* out1, float* out2, int32_t n) {
  int32_t k = 0;
  if (!overlapPartly(out1, out2, n)) {
    for (; k + 4 <= n; k += 4) {
      const Float4 y = finiteOrZero4(_mm_loadu_ps(work + k));
      _mm_storeu_ps(out1 + k, y);
      _mm_storeu_ps(out2 + k, y);
    }
  }
  for (; k < n; ++k) {
    const float y = finiteOrZero(work[k]);
    out1[k] = y;
    out2[k] = y;
  }
}

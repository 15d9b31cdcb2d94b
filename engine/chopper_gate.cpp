#include "engine/chopper_gate.h"

#include <cmath>
#include <cstring>

#include "engine/float4.h"
#include "engine/parameters.h"
#include "engine/sample_rate.h"

namespace {

// The smoother's pole per sample at the design rate, and the gain step of an on phase there:
// one unit in the last place below the 32-bit float nearest 1/45.
constexpr double kDesignPole = 0.96;
constexpr float kDesignDrive = 0.02222222f;

// The half-period is the rate's worth of samples over kRateSpan (e^(kRateCurve freq) - 1) + 1.
constexpr double kRateSpan = 9.999;
constexpr double kRateCurve = 7.0;

void repeat(float value, float* out, int32_t n) {
  const Float4 v = _mm_set1_ps(value);
  int32_t k = 0;
  for (; k + 4 <= n; k += 4) _mm_storeu_ps(out + k, v);
  for (; k < n; ++k) out[k] = value;
}

}  // namespace

ChopperGate::ChopperGate(float sampleRate)
    : gateZ(0.0f),
      gateFb(0.0f),
      gateIn(0.0f),
      gateHalfPeriod(1),
      gateCountdown(static_cast<int32_t>(sampleRate / 2.0f)),  // half a second, whatever "freq" says
      gateOn(1) {
  setSmoothing(sampleRate);
}

// The pole is raised to the power of design rate over rate, so the smoother decays by the same
// factor per second; the drive is scaled with 1 - pole, so the settled gain stays the same. At
// the design rate both are the design values exactly.
void ChopperGate::setSmoothing(float sampleRate) {
  const double ratio = static_cast<double>(kDefaultSampleRate) / static_cast<double>(sampleRate);
  const double pole = ratio == 1.0 ? kDesignPole : std::pow(kDesignPole, ratio);
  gateFb = static_cast<float>(-pole);
  gateIn = static_cast<float>(static_cast<double>(kDesignDrive) * ((1.0 - pole) / (1.0 - kDesignPole)));
}

void ChopperGate::setHalfPeriod(float freq, float sampleRate) {
  gateHalfPeriod = halfPeriodFor(freq, sampleRate);
}

int32_t ChopperGate::halfPeriodFor(float freq, float sampleRate) {
  const double f = clampToUnit(freq);
  const double samples =
      static_cast<double>(sampleRate) / (kRateSpan * (std::exp(kRateCurve * f) - 1.0) + 1.0);
  const int32_t halfPeriod = static_cast<int32_t>(samples);
  return halfPeriod >= 1 ? halfPeriod : 1;
}

// For each sample g = gateZ + u, then gateZ = u - gateFb g. The gain depends on nothing but the
// gate, so it is worked out before the bands run; once the smoother stops changing within a
// phase, the rest of the phase repeats the same gain exactly.
void ChopperGate::plan(float* gains, int32_t n) {
  int32_t remaining = n;
  int32_t position = 0;
  while (remaining > 0) {
    int32_t run;
    bool on;
    if (remaining < gateCountdown) {
      // The block ends inside the phase in progress.
      run = remaining;
      gateCountdown -= remaining;
      remaining = 0;
      on = gateOn == 1;
    } else {
      // The phase ends within this block; the flip applies from the sample after it.
      run = gateCountdown;
      gateCountdown = gateHalfPeriod;
      remaining -= run;
      on = gateOn == 1;
      gateOn = gateOn == 1 ? 0 : 1;
    }
    const float u = (on ? 1.0f : 0.0f) * gateIn;
    const float feedbackWeight = gateFb;
    float z = gateZ;
    const int32_t end = position + run;
    while (position < end) {
      const float g = z + u;
      const float next = u - feedbackWeight * g;
      gains[position++] = g;
      if (std::memcmp(&next, &z, sizeof next) == 0) {
        repeat(g, gains + position, end - position);
        position = end;
      }
      z = next;
    }
    gateZ = z;
  }
}

// The chopper gate switches the summed output on and off at a steady rate. A two-state machine
// counts down each phase; the first phase after construction lasts 22050 samples, every later
// one the half-period in force when it begins. The gain is smoothed by
//   g[n] = u[n] + u[n-1] + 0.96 g[n-1],  u = drive * gateIn,
// which settles at 50 * gateIn (about 1.1111) during an on phase. The gate moves only while it
// is applied; while bypassed its state stays as it was.

#include <cmath>
#include <cstring>

#include "engine/float4.h"
#include "engine/vocoder.h"

namespace {

void repeat(float value, float* out, int32_t n) {
  const Float4 v = _mm_set1_ps(value);
  int32_t k = 0;
  for (; k + 4 <= n; k += 4) _mm_storeu_ps(out + k, v);
  for (; k < n; ++k) out[k] = value;
}

}  // namespace

void Vocoder::setGateCoefficients() {
  gateIn = 0.02222222f;
  gateFb = -0.96f;
}

// The half-period for "freq" f in 0 to 1 runs from 44100 samples down to 4. Values outside that
// range (NaN included) are clamped first, so a phase always lasts at least one sample.
void Vocoder::updateGateHalfPeriod() {
  float f = freq;
  if (f > 1.0f) f = 1.0f;
  if (!(f >= 0.0f)) f = 0.0f;
  const double samples =
      44100.0 / (9.999 * (std::exp(7.0 * static_cast<double>(f)) - 1.0) + 1.0);
  const int32_t halfPeriod = static_cast<int32_t>(samples);
  gateHalfPeriod = halfPeriod >= 1 ? halfPeriod : 1;
}

// Audio thread only. Writes the gate's gain g for the next n samples to `gains` and moves the
// gate on: for each sample g = gateZ + u, then gateZ = u - gateFb g, with u = gateIn during an
// on phase and 0 during an off phase. The gain depends on nothing but the gate, so it is worked
// out here, before the bands run; once the smoother stops changing within a phase, the rest of
// the phase repeats the same gain exactly.
void Vocoder::planChopperGate(float* gains, int32_t n) {
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
    const float feedback = gateFb;
    float z = gateZ;
    const int32_t end = position + run;
    while (position < end) {
      const float g = z + u;
      const float next = u - feedback * g;
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

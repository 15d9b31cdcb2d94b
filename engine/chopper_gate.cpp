#include "engine/chopper_gate.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/float4.h"
#include "engine/parameters.h"
#include "engine/same_bits.h"
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
      gateCountdown(0),
      gateOn(1),
      phaseDone(0),
      following(false) {
  // Only a record's first `length` gains are ever read; the rest is left unwritten.
  for (PhaseRecord& r : records) {
    r.startZ = r.drive = r.feedback = 0.0f;
    r.length = 0;
    r.settled = false;
  }
  restart(sampleRate);
  setSmoothing(sampleRate);
}

// The records stay: a phase that begins as one did copies gains that are, bit for bit, the
// ones it would work out.
void ChopperGate::restart(float sampleRate) {
  gateZ = 0.0f;
  gateCountdown = static_cast<int32_t>(sampleRate / 2.0f);  // half a second, whatever "freq" says
  gateOn = 1;
  phaseDone = 0;
  following = false;
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
// gate, so it is worked out before the bands run.
void ChopperGate::plan(float* gains, int32_t n) {
  int32_t remaining = n;
  int32_t position = 0;
  while (remaining > 0) {
    int32_t run;
    bool on;
    bool ends;
    if (remaining < gateCountdown) {
      // The block ends inside the phase in progress.
      run = remaining;
      gateCountdown -= remaining;
      remaining = 0;
      on = gateOn == 1;
      ends = false;
    } else {
      // The phase ends within this block; the flip applies from the sample after it.
      run = gateCountdown;
      gateCountdown = gateHalfPeriod;
      remaining -= run;
      on = gateOn == 1;
      gateOn = gateOn == 1 ? 0 : 1;
      ends = true;
    }
    const float u = (on ? 1.0f : 0.0f) * gateIn;
    gateZ = planPhase(records[on ? 1 : 0], u, gains + position, run);
    position += run;
    phaseDone = ends ? 0 : phaseDone + run;
  }
}

// The next `run` gains of the phase in progress, which has had `phaseDone` so far; returns the
// smoother's value after them. A phase that begins as the record did follows it: it copies the
// recorded gains, extends the record with those it works out, and once the gains settled repeats
// the last one. Since g[i + 1] = z[i + 1] + u with z[i + 1] = u - gateFb g[i], the smoother's
// value after a copied gain is worked out from that gain as the recurrence does.
float ChopperGate::planPhase(PhaseRecord& record, float u, float* gains, int32_t run) {
  const float feedbackWeight = gateFb;
  float z = gateZ;
  const bool sameSmoothing =
      sameBits(record.drive, u) && sameBits(record.feedback, feedbackWeight);
  if (phaseDone == 0) {
    following = true;
    if (!sameSmoothing || !sameBits(record.startZ, z)) {
      record.startZ = z;
      record.drive = u;
      record.feedback = feedbackWeight;
      record.length = 0;
      record.settled = false;
    }
  } else if (!sameSmoothing) {
    following = false;  // the rate changed within the phase
  }

  int32_t i = 0;
  while (i < run) {
    const int32_t at = phaseDone + i;
    if (following && at < record.length) {
      const int32_t copied = std::min(run - i, record.length - at);
      std::memcpy(gains + i, record.gains + at, sizeof(float) * static_cast<size_t>(copied));
      i += copied;
      z = u - feedbackWeight * gains[i - 1];
      continue;
    }
    if (following && record.settled) {
      repeat(record.gains[record.length - 1], gains + i, run - i);
      break;
    }
    const float g = z + u;
    const float next = u - feedbackWeight * g;
    gains[i++] = g;
    if (following) {
      if (record.length < kRecordedGains)
        record.gains[record.length++] = g;
      else
        following = false;
    }
    if (sameBits(next, z)) {
      // Settled: the rest of the phase repeats this gain exactly.
      if (following) record.settled = true;
      repeat(g, gains + i, run - i);
      break;
    }
    z = next;
  }
  return z;
}

#pragma once
// The chopper gate (the Mulch gate) switches the summed output on and off at a steady rate. A
// two-state machine counts down each phase: the first phase after construction lasts half a
// second and is an on phase; every later one lasts the half-period in force when it begins. The
// gain is smoothed by
//   g[n] = u[n] + u[n-1] - gateFb g[n-1],  u = gateIn during an on phase and 0 during an off one,
// a pole at 0.96 per sample at 44100 Hz (a time constant of 0.56 ms) and a zero at -1, so the
// gain settles at about 1.1111 in an on phase. No gate value is flushed: in a long off phase the
// smoother decays into subnormal numbers and stays there until the next on phase.
//
// Within a phase the gains depend on nothing but the smoother's value when the phase began and
// the two coefficients, and once the phases are long enough for the gains to settle, every on
// phase begins from the same value and so does every off phase. So the gate keeps the gains of
// the latest phase of each kind as it works them out; a phase that begins as that one did copies
// them instead, and reaches its settled gain without the serial arithmetic of every sample and
// without the subnormal arithmetic of the decay. The copied gains are the worked-out ones, bit
// for bit.
//
// Audio thread only, apart from construction; the gate moves only while it is applied.

#include <cstdint>

class ChopperGate {
 public:
  explicit ChopperGate(float sampleRate);

  // Back to the first phase: an on phase of half a second at `sampleRate`, the smoother at 0.0.
  // The coefficients and the half-period, which the settings give, stay.
  void restart(float sampleRate);

  // The smoother's coefficients for a sample rate: the same times at every rate.
  void setSmoothing(float sampleRate);
  // The length of every later phase, from the "freq" parameter; the phase in progress runs out
  // with the count it has.
  void setHalfPeriod(float freq, float sampleRate);

  // Writes the gate's gain for the next n samples to `gains` and moves the gate on.
  void plan(float* gains, int32_t n);

  // Half-period in samples for a "freq" value: from the rate's worth of samples at 0.0 (0.5 Hz)
  // down to 4 at 1.0 and 44100 Hz. The value is clamped into 0 to 1 first (not a number counts
  // as 0), so a phase always lasts at least one sample.
  static int32_t halfPeriodFor(float freq, float sampleRate);

  // The longest stretch of a phase's gains kept for the next phase of its kind: enough for the
  // gains to settle at every rate up to about 120 kHz; beyond it they are worked out as always.
  static constexpr int32_t kRecordedGains = 8192;

  float smootherState() const { return gateZ; }
  float feedback() const { return gateFb; }
  float drive() const { return gateIn; }
  int32_t halfPeriod() const { return gateHalfPeriod; }
  int32_t countdown() const { return gateCountdown; }
  bool isOn() const { return gateOn != 0; }

 private:
  float gateZ;             // smoother state
  float gateFb;            // smoother feedback: -0.96 at 44100 Hz
  float gateIn;            // gain step fed in per sample of an on phase: 0.02222222 at 44100 Hz
  int32_t gateHalfPeriod;  // length of every later phase, in samples
  int32_t gateCountdown;   // samples left in the phase in progress
  int32_t gateOn;          // 1 during an on phase, 0 during an off phase

  // The gains of the latest phase of one kind from its first sample on, as far as they were
  // worked out, and what they began from (compared bit for bit).
  struct PhaseRecord {
    float startZ, drive, feedback;
    int32_t length;
    bool settled;  // the last gain repeats for the rest of any phase that gets this far
    float gains[kRecordedGains];
  };

  float planPhase(PhaseRecord& record, float u, float* gains, int32_t run);

  PhaseRecord records[2];  // the off phases' and the on phases'
  int32_t phaseDone;       // samples of the phase in progress planned so far
  bool following;          // the phase in progress has had the gains of its kind's record
};

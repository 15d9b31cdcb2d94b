// The chopper gate copies the gains of a phase that begins as the last one of its kind did; they
// must be the recurrence's own gains bit for bit, through settling, the subnormal decay of the
// off phases, phases too short to settle, records too short for a phase, and a rate or a
// half-period changed within a phase. The recurrence is the band-by-band form's gate, whose
// outputs over a work buffer of ones are its gains.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/chopper_gate.h"
#include "tests/fixtures/band_by_band_vocoder.h"
#include "tests/fixtures/test_signals.h"

namespace {

TEST(GateGains, CopiedPhasesAreTheRecurrencesGainsBitForBit) {
  struct Setting {
    float freq, rate;
  };
  // Phases that settle (5.6 Hz), that outlast the record at 192 kHz, that are too short to
  // settle (several kHz), and the first half second.
  const Setting settings[] = {{0.1f, 44100.0f}, {0.1f, 192000.0f}, {0.7f, 44100.0f},
                              {0.0f, 48000.0f}, {0.95f, 96000.0f}};
  signals::Random random(31);
  ChopperGate gate(44100.0f);
  reference::Gate model = {gate.smootherState(), gate.countdown(), gate.isOn() ? 1 : 0};
  const std::vector<float> ones(5000, 1.0f);
  std::vector<float> planned(5000), expected(5000), unused(5000);
  Setting now = settings[0];
  gate.setHalfPeriod(now.freq, now.rate);
  long done = 0;
  for (int block = 0; block < 6000; ++block) {
    if (block % 600 == 0 || random.between(0, 199) == 0) {
      // A new setting takes effect between blocks, so often within a phase.
      now = settings[random.between(0, 4)];
      gate.setSmoothing(now.rate);
      gate.setHalfPeriod(now.freq, now.rate);
    }
    const int32_t n =
        random.between(0, 9) == 0 ? random.between(1, 5000) : random.between(1, 600);
    reference::chopperGate(model, gate, ones.data(), expected.data(), unused.data(), n);
    gate.plan(planned.data(), n);
    ASSERT_EQ(0, std::memcmp(planned.data(), expected.data(), sizeof(float) * n))
        << "block " << block << ", " << done << " samples in, freq " << now.freq << " at "
        << now.rate << " Hz";
    const float z = gate.smootherState();
    ASSERT_EQ(0, std::memcmp(&z, &model.z, sizeof z)) << "smoother after block " << block;
    done += n;
  }
}

}  // namespace

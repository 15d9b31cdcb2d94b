// The chopper gate over time. Two effects fed the same inputs, one gated and one bypassed, have
// the same band states, so the ratio of their outputs is the gate's gain sample by sample; the
// phases are also read through the gate's accessors.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/channel_vocoder.h"
#include "tests/fixtures/rendering.h"
#include "tests/fixtures/test_signals.h"
#include "tests/native/vocoder_model.h"

namespace {

constexpr double kSettledGain = 50.0 * static_cast<double>(0.02222222f);  // about 1.1111

// A gated effect and a bypassed twin, run side by side over noise on both inputs (which keeps
// the band sum well away from 0); gains() yields the gate's gain for every sample so far.
class GateProbe {
 public:
  GateProbe() { bypassed_.setParameter(kMulchIO, 0.0f); }

  ChannelVocoder& gated() { return gated_; }

  void run(int n) {
    std::vector<float> speech = signals::noise(n, seed_++, 0.5f);
    std::vector<float> carrier = signals::noise(n, seed_++, 0.5f);
    const Rendering a = renderInOneCall(gated_, speech, carrier);
    const Rendering b = renderInOneCall(bypassed_, speech, carrier);
    gatedOut_.insert(gatedOut_.end(), a.out1.begin(), a.out1.end());
    bypassedOut_.insert(bypassedOut_.end(), b.out1.begin(), b.out1.end());
  }

  // The gate's gain at every sample so far; NaN where the band sum is too small to tell.
  std::vector<double> gains() const {
    std::vector<double> g(gatedOut_.size());
    for (size_t k = 0; k < g.size(); ++k)
      g[k] = std::fabs(bypassedOut_[k]) > 1e-4f
                 ? static_cast<double>(gatedOut_[k]) / bypassedOut_[k]
                 : std::nan("");
    return g;
  }

  const std::vector<float>& gatedOutput() const { return gatedOut_; }
  const std::vector<float>& bypassedOutput() const { return bypassedOut_; }

 private:
  ChannelVocoder gated_, bypassed_;
  uint32_t seed_ = 100;
  std::vector<float> gatedOut_, bypassedOut_;
};

// Compares the measured gains with the gate's description from sample `from` on: the 32-bit
// gain and the rounding of x g keep the ratio within a few parts in 10^7; a phase boundary a
// sample off moves the gain by 2 % or more.
::testing::AssertionResult followsGate(const std::vector<double>& measured, model::Gate gate,
                                       size_t from = 0) {
  size_t checked = 0;
  for (size_t k = 0; k < measured.size(); ++k) {
    const double expected = gate.step();
    if (k < from || std::isnan(measured[k])) continue;
    ++checked;
    if (std::fabs(measured[k] - expected) > 1e-5 * std::max(expected, 1e-3))
      return ::testing::AssertionFailure()
             << "sample " << k << ": gain " << measured[k] << ", expected " << expected;
  }
  if (checked < (measured.size() - from) / 2)
    return ::testing::AssertionFailure() << "only " << checked << " samples could be checked";
  return ::testing::AssertionSuccess();
}

TEST(GateTimeline, DefaultsGive22050OnThenPhasesOf3959) {
  GateProbe probe;
  const struct {
    int length;
    bool on;
    int countdown;
  } marks[] = {{22049, true, 1}, {1, false, 3959}, {3959, true, 3959},
               {3958, true, 1},  {1, false, 3959}, {3959, true, 3959}};
  int done = 0;
  for (const auto& mark : marks) {
    probe.run(mark.length);
    done += mark.length;
    EXPECT_EQ(mark.on, probe.gated().gate().isOn()) << "after " << done << " samples";
    EXPECT_EQ(mark.countdown, probe.gated().gate().countdown()) << "after " << done;
  }
  const std::vector<double> g = probe.gains();
  EXPECT_TRUE(followsGate(g, model::Gate()));

  // The gain rises to its settled 1.1111 in the first phase, falls by 0.96 a sample while off
  // and climbs back while on.
  EXPECT_NEAR(kSettledGain, g[22049], 1e-5);
  EXPECT_LT(g[22050 + 400], 1e-6);
  EXPECT_NEAR(kSettledGain, g[22050 + 3959 + 3958], 1e-5);
  EXPECT_LT(g[22050 + 2 * 3959 + 400], 1e-6);
}

// Turning the rate up in the middle of a long phase changes nothing until that phase is over.
TEST(GateTimeline, RateChangedMidPhaseWaitsForThePhaseEnd) {
  GateProbe probe;
  probe.gated().setParameter(kFreq, 0.0f);  // phases of 44100 samples after the first
  probe.run(22050 + 10000);
  EXPECT_FALSE(probe.gated().gate().isOn());
  EXPECT_EQ(34100, probe.gated().gate().countdown());

  probe.gated().setParameter(kFreq, 1.0f);  // phases of 4 samples from now on
  EXPECT_EQ(34100, probe.gated().gate().countdown());
  probe.run(34099);
  EXPECT_FALSE(probe.gated().gate().isOn());
  EXPECT_EQ(1, probe.gated().gate().countdown());
  probe.run(1);
  EXPECT_TRUE(probe.gated().gate().isOn());
  EXPECT_EQ(4, probe.gated().gate().countdown());
  probe.run(4000);

  model::Gate gate;
  gate.halfPeriod = 44100;
  std::vector<double> g = probe.gains();
  std::vector<double> before(g.begin(), g.begin() + 32050), after(g.begin() + 32050, g.end());
  EXPECT_TRUE(followsGate(before, gate));
  for (int k = 0; k < 32050; ++k) gate.step();
  gate.halfPeriod = 4;
  EXPECT_TRUE(followsGate(after, gate));
}

// At the fastest rate the gain never settles: it swings between about 0.52 and 0.59, the
// vocoder at roughly half level with a shallow 5512.5 Hz ripple.
TEST(GateTimeline, FastestRateHoldsTheGainNearHalf) {
  GateProbe probe;
  probe.gated().setParameter(kFreq, 1.0f);
  probe.run(22050 + 4000);
  const std::vector<double> g = probe.gains();
  double low = 10.0, high = 0.0;
  for (size_t k = 22050 + 1000; k < g.size(); ++k) {
    if (std::isnan(g[k])) continue;
    low = std::min(low, g[k]);
    high = std::max(high, g[k]);
  }
  std::printf("  gain between %.4f and %.4f\n", low, high);
  EXPECT_NEAR(0.52, low, 0.01);
  EXPECT_NEAR(0.59, high, 0.01);
}

// While mulch I/O is not exactly 1.0 the gate stands still; switched on again it carries on
// from where it stopped, its gain still falling in the off phase it was left in.
TEST(GateTimeline, BypassFreezesTheGateAndItResumesWhereItStopped) {
  GateProbe probe;
  probe.run(22050 + 100);  // 100 samples into the first off phase
  const float gateZ = probe.gated().gate().smootherState();
  const int countdown = probe.gated().gate().countdown();
  EXPECT_FALSE(probe.gated().gate().isOn());

  for (float mulch : {0.0f, 0.999f}) {
    probe.gated().setParameter(kMulchIO, mulch);
    probe.run(5000);
    EXPECT_FALSE(probe.gated().gate().isOn());
    EXPECT_EQ(countdown, probe.gated().gate().countdown());
    EXPECT_TRUE(sameBits(gateZ, probe.gated().gate().smootherState()));
  }
  const size_t resumed = probe.gatedOutput().size();
  EXPECT_TRUE(identicalSamples(
      std::vector<float>(probe.bypassedOutput().begin() + 22150, probe.bypassedOutput().end()),
      std::vector<float>(probe.gatedOutput().begin() + 22150, probe.gatedOutput().end())));

  probe.gated().setParameter(kMulchIO, 1.0f);
  probe.run(12000);  // the rest of the off phase (3859), 3959 on, 3959 off, 223 on
  EXPECT_TRUE(probe.gated().gate().isOn());
  EXPECT_EQ(3959 - 223, probe.gated().gate().countdown());

  // The gains around the pause are those of a gate that never paused.
  const std::vector<double> g = probe.gains();
  std::vector<double> joined(g.begin(), g.begin() + 22150);
  joined.insert(joined.end(), g.begin() + static_cast<long>(resumed), g.end());
  EXPECT_TRUE(followsGate(joined, model::Gate()));
  EXPECT_LT(g[resumed], g[22149]) << "the gain goes on falling after the pause";
}

// The gate is designed at 44100 Hz, where its coefficients are exactly the design values. At
// other rates it keeps its times: half a second first, the same phase length in seconds, the
// same settled gain and the same fall per millisecond in an off phase.
TEST(GateTimeline, TimesStayTheSameAtEveryRate) {
  const ChopperGate design(44100.0f);
  EXPECT_EQ(-0.96f, design.feedback());
  EXPECT_EQ(0.02222222f, design.drive());
  EXPECT_EQ(3959, ChopperGate::halfPeriodFor(0.1f, 44100.0f));
  for (const float rate : {22050.0f, 48000.0f, 88200.0f, 96000.0f}) {
    ChopperGate gate(rate);
    gate.setHalfPeriod(0.1f, rate);
    EXPECT_EQ(static_cast<int32_t>(rate / 2), gate.countdown()) << rate;
    EXPECT_NEAR(3959.0 / 44100.0, gate.halfPeriod() / rate, 1.0 / 44100.0 + 1.0 / rate) << rate;

    const size_t firstOff = static_cast<size_t>(gate.countdown());
    const size_t millisecond = static_cast<size_t>(rate / 1000);
    std::vector<float> gains(firstOff + millisecond + 2);
    gate.plan(gains.data(), static_cast<int32_t>(gains.size()));
    EXPECT_NEAR(kSettledGain, gains[firstOff - 1], 1e-4) << rate;
    // Over a millisecond of the off phase the gain falls as it does at 44100 Hz.
    const double fall = gains[firstOff + 1 + millisecond] / gains[firstOff + 1];
    EXPECT_NEAR(std::pow(0.96, 44100.0 * static_cast<double>(millisecond) / rate), fall, 1e-4)
        << rate;
  }
}

}  // namespace

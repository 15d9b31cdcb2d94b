// Processing under torture: block sizes swept from 1 to 5000 and drawn at random, inputs full
// of NaNs, infinities, subnormals, huge values and full-scale noise, outputs in separate
// buffers, in the input buffers, crossed over and all four in one buffer, and every parameter
// automated with random values between every two blocks. Every block must come out finite and
// fully written, with nothing written outside its buffers. Then, with clean input, the tortured
// instance must sound like one that was never disturbed.
//
// What the comparison holds equal: both instances get the same parameter values (the program
// defaults with the chopper gate bypassed, so that the gate's phase, which the torture moved,
// does not count) and the same clean signal; from two seconds on the tortured output must lie
// as close to the undisturbed one as two clean instances with different histories lie to each
// other (about -80 dB: the rounding floor of the narrow 32-bit band filters). Filter, envelope
// and gate states are never reset, so this only holds if nothing the torture left is stuck.
//
// Hostile parameter values (NaN, infinities, 1e30, the largest float, subnormals, values just
// outside 0 to 1) are then set one at a time: nothing crashes, the output stays finite and
// fully written, and once the value is back in range the very next block is audible again.
//
// Figure: "wine torture: ...". The sweep steps by 2 frames by default and by 1 with
// MULCHVOICE_LONG=1, which also draws five times as many random sizes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/wine/reliability/reliability_support.h"
#include "tools/testhost/plugin_host.h"

namespace {

using reliability::FencedStereo;
using reliability::Random;

constexpr int kLongestBlock = 5000;
constexpr size_t kRate = 44100;

float bits(uint32_t pattern) {
  float value;
  std::memcpy(&value, &pattern, sizeof value);
  return value;
}

// One hostile sample.
float hostileSample(Random& random) {
  static const float kinds[] = {
      std::numeric_limits<float>::quiet_NaN(),
      -std::numeric_limits<float>::quiet_NaN(),
      bits(0x7F800001),  // a signalling NaN
      bits(0xFFC12345),
      std::numeric_limits<float>::infinity(),
      -std::numeric_limits<float>::infinity(),
      std::numeric_limits<float>::denorm_min(),
      -std::numeric_limits<float>::denorm_min(),
      1e-40f,
      -3e-39f,
      1e-12f,
      std::numeric_limits<float>::max(),
      -std::numeric_limits<float>::max(),
      1e30f,
      -1e30f,
      1.0f,
      -1.0f,
      0.0f,
      -0.0f,
  };
  return kinds[random.next() % (sizeof kinds / sizeof kinds[0])];
}

// Fills one input block in one of several ways.
long fillHostile(float* block, size_t n, Random& random) {
  long hostile = 0;
  const int mode = static_cast<int>(random.next() % 6);
  for (size_t k = 0; k < n; ++k) {
    const double noise = random.uniform() * 2.0 - 1.0;
    float v;
    switch (mode) {
      case 0: v = static_cast<float>(noise); break;                     // full-scale noise
      case 1: v = hostileSample(random); ++hostile; break;              // nothing but trouble
      case 2: v = static_cast<float>(noise * 1e-39); ++hostile; break;  // subnormals
      case 3: v = std::numeric_limits<float>::quiet_NaN(); ++hostile; break;
      default:  // noise with trouble sprinkled in
        if (random.next() % 16 == 0) {
          v = hostileSample(random);
          ++hostile;
        } else {
          v = static_cast<float>(noise);
        }
        break;
    }
    block[k] = v;
  }
  return hostile;
}

bool allFinite(const float* block, size_t n) {
  for (size_t k = 0; k < n; ++k) {
    if (!std::isfinite(block[k])) return false;
  }
  return true;
}

// How far a tortured instance lies from an undisturbed one (see convergence() below).
struct Convergence {
  double continuousDb = 0.0;  // tortured against undisturbed, from 2 s to 4 s of clean input
  double floorDb = 0.0;       // two clean instances with different histories, same span
};

struct Figures {
  long blocks = 0;
  long frames = 0;
  long hostileSamples = 0;
  long inPlaceBlocks = 0;
  long automations = 0;
  double seconds = 0.0;
  Convergence convergence{};
  int sweepStep = 0;
  int randomBlocks = 0;
  long parameterCases = 0;
};
Figures figures;

class FigureEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    reliability::figure(
        "wine torture: %ld blocks (sizes 1..%d step %d, then %d random), %ld frames in %.1f s, "
        "%ld hostile input samples, %ld blocks in place or crossed, %ld parameter automations; "
        "every block finite and fully written, nothing written outside; then with the same "
        "parameters (gate bypassed) and clean input, from 2 s on the tortured instance is %.1f dB "
        "from an undisturbed one (two clean instances with different histories: %.1f dB)",
        figures.blocks, kLongestBlock, figures.sweepStep, figures.randomBlocks, figures.frames,
        figures.seconds, figures.hostileSamples, figures.inPlaceBlocks, figures.automations,
        figures.convergence.continuousDb, figures.convergence.floorDb);
    reliability::figure(
        "wine torture: %ld hostile parameter cases, each finite throughout and audible within "
        "the first block back in range",
        figures.parameterCases);
  }
};
const auto* const figureEnvironment = ::testing::AddGlobalTestEnvironment(new FigureEnvironment);

class ProcessingTorture : public ::testing::Test {
 protected:
  void SetUp() override {
    reliability::installFaultReporter();
    std::string error;
    ASSERT_TRUE(host.load(testhost::defaultPluginPath(), &error)) << error;
    tortured = host.instantiate();
    undisturbed = host.instantiate();
    ASSERT_NE(tortured, nullptr);
    ASSERT_NE(undisturbed, nullptr);
  }

  // How far the tortured instance's output lies from an undisturbed one's, given the same
  // parameters and the same clean input, from two seconds on. Two instances whose states
  // differ at all never agree to the last bit again: each narrow band filter's own rounding
  // (32-bit states, a pole within 0.0004 of the unit circle) keeps a noise about 80 dB under
  // the signal, and in silence the flushed states sit in tiny limit cycles instead of at
  // exactly 0. So the tortured instance is held against that floor, measured between two
  // clean instances with different histories: it must lie no further from the undisturbed
  // one, within 6 dB. A state stuck at any level above the floor would show.
  Convergence convergence() {
    Convergence c{};
    AEffect* otherHistory = host.instantiate();
    EXPECT_NE(otherHistory, nullptr);
    if (otherHistory == nullptr) return c;
    reliability::setComparisonParameters(tortured);
    reliability::setComparisonParameters(undisturbed);
    reliability::setComparisonParameters(otherHistory);
    reliability::render(otherHistory, reliability::makeSignal(kRate, 99), 0, kRate, 512);

    const reliability::Signal clean = reliability::makeSignal(4 * kRate, 21);
    const reliability::Render a = reliability::render(tortured, clean, 0, 4 * kRate, 512);
    const reliability::Render b = reliability::render(undisturbed, clean, 0, 4 * kRate, 512);
    const reliability::Render o = reliability::render(otherHistory, clean, 0, 4 * kRate, 512);
    EXPECT_TRUE(a.finite && b.finite && o.finite);
    EXPECT_GT(reliability::rms(b.out, 2 * kRate, 2 * kRate), 1e-3) << "the reference is silent";
    c.continuousDb = reliability::differenceDb(a.out, b.out, 2 * kRate, 2 * kRate);
    c.floorDb = reliability::differenceDb(o.out, b.out, 2 * kRate, 2 * kRate);
    host.close(otherHistory);
    return c;
  }

  void expectConverged(const Convergence& c, const char* after) {
    EXPECT_LE(c.continuousDb, c.floorDb + 6.0) << after;
    EXPECT_LT(c.continuousDb, -70.0) << after;
  }

  testhost::PluginHost host;
  AEffect* tortured = nullptr;
  AEffect* undisturbed = nullptr;
};

}  // namespace

TEST_F(ProcessingTorture, HostileBlocksThenCleanInputConverges) {
  const int step = reliability::longRun() ? 1 : 2;
  const int randomBlocks = reliability::longRun() ? 5000 : 1000;
  figures.sweepStep = step;
  figures.randomBlocks = randomBlocks;

  std::vector<int> sizes;
  for (int n = 1; n <= kLongestBlock; n += step) sizes.push_back(n);
  Random random(20240611);
  for (int i = 0; i < randomBlocks; ++i) {
    // Mostly short blocks, some up to the longest.
    sizes.push_back(random.next() % 4 == 0 ? random.range(1, kLongestBlock) : random.range(1, 600));
  }

  FencedStereo b(kLongestBlock);
  const double start = reliability::now();
  for (size_t i = 0; i < sizes.size(); ++i) {
    const size_t n = static_cast<size_t>(sizes[i]);
    b.in1.paint();
    b.in2.paint();
    b.out1.paint();
    b.out2.paint();
    figures.hostileSamples += fillHostile(b.in1.tail(n), n, random);
    figures.hostileSamples += fillHostile(b.in2.tail(n), n, random);

    // Automation between every two blocks: every parameter, any value from 0 to 1, the
    // switches now and then exactly on.
    for (int32_t p = 0; p < 8; ++p) {
      float value = static_cast<float>(random.uniform());
      if (p >= 6 && random.next() % 2 == 0) value = random.next() % 2 == 0 ? 0.0f : 1.0f;
      tortured->setParameter(tortured, p, value);
      ++figures.automations;
    }

    // Where the outputs go: separate buffers, the inputs themselves, crossed, or one buffer.
    const int layout = static_cast<int>(i % 4);
    float* in[2] = {b.in1.tail(n), b.in2.tail(n)};
    float* separate[2] = {b.out1.tail(n), b.out2.tail(n)};
    float* same[2] = {in[0], in[1]};
    float* crossed[2] = {in[1], in[0]};
    float* oneIn[2] = {in[0], in[0]};
    float** outputs = layout == 0 ? separate : layout == 1 ? same : layout == 2 ? crossed : oneIn;
    float** inputs = layout == 3 ? oneIn : in;
    if (layout != 0) ++figures.inPlaceBlocks;

    tortured->processReplacing(tortured, inputs, outputs, static_cast<int32_t>(n));
    figures.blocks += 1;
    figures.frames += static_cast<long>(n);

    ASSERT_TRUE(allFinite(outputs[0], n) && allFinite(outputs[1], n))
        << "block " << i << " of " << n << " frames, layout " << layout
        << ": an output is not finite or was not written";
    ASSERT_TRUE(b.slackIntact(n)) << "block " << i << " of " << n << " frames, layout " << layout
                                  << ": written before a buffer";
    if (layout == 0) {
      ASSERT_EQ(std::memcmp(outputs[0], outputs[1], n * sizeof(float)), 0)
          << "block " << i << ": the two outputs differ";
    }
  }
  figures.seconds = reliability::now() - start;

  figures.convergence = convergence();
  expectConverged(figures.convergence, "after the torture");
}

TEST_F(ProcessingTorture, HostileParameterValuesLeaveNothingStuck) {
  const float hostile[] = {std::numeric_limits<float>::quiet_NaN(),
                           -std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           1e30f,
                           -1e30f,
                           std::numeric_limits<float>::max(),
                           -std::numeric_limits<float>::max(),
                           std::numeric_limits<float>::denorm_min(),
                           -1.0f,
                           2.0f};
  const float normal[8] = {1.0f, 1.0f, 0.4f, 1.0f, 0.1f, 0.3f, 0.0f, 0.0f};
  const reliability::Signal clean = reliability::makeSignal(kRate, 5);
  FencedStereo b(512);
  size_t position = 0;
  auto block = [&](const std::string& what) {
    b.load(clean, position, 512);
    tortured->processReplacing(tortured, b.inputs(512), b.outputs(512), 512);
    position += 512;
    EXPECT_TRUE(b.outputsFinite(512)) << what;
    EXPECT_TRUE(b.slackIntact(512)) << what;
    return reliability::rms(std::vector<float>(b.out1.tail(512), b.out1.tail(512) + 512), 0, 512);
  };

  reliability::setComparisonParameters(tortured);
  for (int i = 0; i < 8; ++i) block("warm-up");
  for (int32_t p = 0; p < 8; ++p) {
    for (float value : hostile) {
      const std::string what = "parameter " + std::to_string(p) + " = " + std::to_string(value);
      tortured->setParameter(tortured, p, value);
      block(what);
      block(what);
      tortured->setParameter(tortured, p, normal[p]);
      EXPECT_GT(block(what + ", back in range"), 1e-5) << what << ": silent after coming back";
      block(what + ", back in range");
      ++figures.parameterCases;
    }
  }
  // Every value went through the programs too: stored, switched away from and back to.
  for (int32_t p = 0; p < 8; ++p) tortured->setParameter(tortured, p, hostile[p % 8]);
  reliability::dispatch(tortured, effSetProgram, 0, 1);
  reliability::dispatch(tortured, effSetProgram, 0, 0);
  block("a program of hostile values");
  reliability::dispatch(tortured, effSetProgram, 0, 1);

  expectConverged(convergence(), "after the hostile parameter values");
}

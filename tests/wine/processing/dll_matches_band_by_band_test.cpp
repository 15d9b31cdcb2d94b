// MULCHVOICE.dll, loaded through the Windows loader and driven only through its record, computes
// exactly what running the bands one after another computes (the model in
// tests/fixtures/band_by_band_vocoder.h, compiled into this program with the engine's own
// tuning), bit for bit, over long sessions of varied signals, parameter changes, block sizes and
// buffer arrangements: every output sample and every sample written back to the inputs. Each
// band kernel the processor runs is pinned in turn through MULCHVOICE_KERNEL, which the DLL's
// engine reads when an effect is made.
//
// The sessions' inputs are the same bits on every build, so what the DLL leaves in the buffers
// is kept in a file of this build tree (MULCHVOICE_SESSION_RECORD), and the DLL of the other
// pointer width must leave exactly the same (MULCHVOICE_OTHER_WIDTH_RECORD, when configured).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/band_kernel_choice.h"
#include "engine/channel_vocoder.h"
#include "engine/same_bits.h"
#include "host/aeffect.h"
#include "tests/fixtures/band_by_band_vocoder.h"
#include "tests/fixtures/equivalence_session.h"
#include "tests/fixtures/reference_case.h"
#include "tools/testhost/plugin_host.h"

namespace {

constexpr uint32_t kRecordedSeed = 21;

// Every block's buffers as the DLL left them: input 1, input 2, output 1, output 2.
void record(std::vector<float>& memory, float** in, float** out, int32_t n) {
  for (float* buffer : {in[0], in[1], out[0], out[1]})
    if (n > 0) memory.insert(memory.end(), buffer, buffer + n);
}

// Two long sessions of the DLL with `kernel` pinned, each against the model; the buffers of the
// recorded seed go to `memory` when it is given.
void runSessions(testhost::PluginHost& host, BandKernelKind kernel, std::vector<float>* memory) {
  // The DLL shares this program's C runtime and so its environment; the engine compiled in here
  // must see the pin as the DLL's does.
  ASSERT_EQ(0, _putenv_s("MULCHVOICE_KERNEL", bandKernelName(kernel)));
  ASSERT_EQ(kernel, chooseBandKernel()) << "the pin does not reach the engine";
  for (uint32_t seed : {kRecordedSeed, 22u}) {
    AEffect* effect = host.instantiate();
    ASSERT_NE(nullptr, effect);
    ChannelVocoder settings;  // the model's settings
    reference::BandByBandVocoder model(settings);
    equivalence::Session session(seed);
    const bool recording = memory != nullptr && seed == kRecordedSeed;
    const std::string difference = session.run(
        700,
        [&](float** in, float** out, int32_t n) {
          effect->processReplacing(effect, in, out, n);
          if (recording) record(*memory, in, out, n);
        },
        [&](int32_t index, float value) { effect->setParameter(effect, index, value); },
        [&](float** in, float** out, int32_t n) { model.processReplacing(settings, in, out, n); },
        [&](int32_t index, float value) { settings.setParameter(index, value); });
    EXPECT_EQ("", difference) << bandKernelName(kernel) << " kernel, seed " << seed;
    std::printf("  %s kernel, seed %u: %ld blocks, %ld frames agree bit for bit\n",
                bandKernelName(kernel), seed, session.blocks(), session.frames());
    host.close(effect);
  }
}

TEST(DllProcessing, AgreesBitForBitWithTheBandByBandForm) {
  testhost::PluginHost host;
  std::string error;
  ASSERT_TRUE(host.load(testhost::defaultPluginPath(), &error)) << error;

  std::vector<float> memory;
  for (BandKernelKind kind : kAllBandKernels) {
    if (processorRuns(kind))
      runSessions(host, kind, memory.empty() ? &memory : nullptr);
    else
      std::printf("  the %s kernel is not tested: this processor or system does not run it\n",
                  bandKernelName(kind));
  }
  _putenv_s("MULCHVOICE_KERNEL", "");
  EXPECT_TRUE(reference_case::writeFile(MULCHVOICE_SESSION_RECORD, memory))
      << "cannot write " << MULCHVOICE_SESSION_RECORD;
}

#ifdef MULCHVOICE_OTHER_WIDTH_RECORD
// The DLL of the other pointer width, run in its own build tree before this one.
TEST(DllProcessing, LeavesTheSamplesOfTheOtherPointerWidth) {
  std::vector<float> mine, other;
  ASSERT_TRUE(reference_case::readFile(MULCHVOICE_SESSION_RECORD, mine))
      << "this build's session is missing: " << MULCHVOICE_SESSION_RECORD;
  ASSERT_TRUE(reference_case::readFile(MULCHVOICE_OTHER_WIDTH_RECORD, other))
      << "the other build's session is missing (run its Wine tests first): "
      << MULCHVOICE_OTHER_WIDTH_RECORD;
  ASSERT_EQ(other.size(), mine.size());
  size_t first = 0;
  while (first < mine.size() && sameBits(mine[first], other[first])) ++first;
  EXPECT_EQ(first, mine.size()) << "first difference at value " << first << ": " << mine[first]
                                << " here, " << other[first] << " there";
  std::printf("  %zu values of seed %u identical to the other pointer width's DLL\n", mine.size(),
              kRecordedSeed);
}
#endif

}  // namespace

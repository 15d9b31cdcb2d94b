// MULCHVOICE.dll, loaded through the Windows loader and driven only through its record, computes
// exactly what running the bands one after another computes (the model in
// tests/reference/band_by_band_vocoder.h, compiled into this program with the engine's own
// tuning), bit for bit, over long sessions of varied signals, parameter changes, block sizes and
// buffer arrangements: every output sample and every sample written back to the inputs. Each
// band kernel the processor runs is pinned in turn through MULCHVOICE_KERNEL, which the DLL's
// engine reads when an effect is made.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/band_kernel_choice.h"
#include "engine/channel_vocoder.h"
#include "host/aeffect.h"
#include "tests/reference/band_by_band_vocoder.h"
#include "tests/reference/equivalence_session.h"
#include "tools/testhost/plugin_host.h"

namespace {

// Two long sessions of the DLL with `kernel` pinned, each against the model.
void runSessions(testhost::PluginHost& host, BandKernelKind kernel) {
  // The DLL shares this program's C runtime and so its environment; the engine compiled in here
  // must see the pin as the DLL's does.
  ASSERT_EQ(0, _putenv_s("MULCHVOICE_KERNEL", bandKernelName(kernel)));
  ASSERT_EQ(kernel, chooseBandKernel()) << "the pin does not reach the engine";
  for (uint32_t seed : {21u, 22u}) {
    AEffect* effect = host.instantiate();
    ASSERT_NE(nullptr, effect);
    ChannelVocoder settings;  // the model's settings
    reference::BandByBandVocoder model(settings);
    equivalence::Session session(seed);
    const std::string difference = session.run(
        700,
        [&](float** in, float** out, int32_t n) { effect->processReplacing(effect, in, out, n); },
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

  for (BandKernelKind kind : kAllBandKernels) {
    if (processorRuns(kind))
      runSessions(host, kind);
    else
      std::printf("  the %s kernel is not tested: this processor or system does not run it\n",
                  bandKernelName(kind));
  }
  _putenv_s("MULCHVOICE_KERNEL", "");
}

}  // namespace

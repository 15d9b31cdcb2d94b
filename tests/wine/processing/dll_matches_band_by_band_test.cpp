// MULCHVOICE.dll, loaded through the Windows loader and driven only through its record, computes
// exactly what running the bands one after another computes (the model in
// tests/reference/band_by_band_vocoder.h, compiled into this program with the engine's own
// tuning), bit for bit, over long sessions of varied signals, parameter changes, block sizes and
// buffer arrangements: every output sample and every sample written back to the inputs.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/channel_vocoder.h"
#include "host/aeffect.h"
#include "tests/reference/band_by_band_vocoder.h"
#include "tests/reference/equivalence_session.h"
#include "tools/testhost/plugin_host.h"

namespace {

TEST(DllProcessing, AgreesBitForBitWithTheBandByBandForm) {
  testhost::PluginHost host;
  std::string error;
  ASSERT_TRUE(host.load(testhost::defaultPluginPath(), &error)) << error;

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
    EXPECT_EQ("", difference) << "seed " << seed;
    std::printf("  seed %u: %ld blocks, %ld frames agree bit for bit\n", seed, session.blocks(),
                session.frames());
    host.close(effect);
  }
}

}  // namespace

// MULCHVOICE.dll, loaded through the Windows loader and driven only through the record its
// `main` returns, renders the reference case as the native build does (reference_case.h), to
// within the last-digit differences the two mathematics libraries may leave in the band
// coefficients (reference_comparison.h).

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/aeffect.h"
#include "tests/fixtures/reference_case.h"
#include "tests/fixtures/reference_comparison.h"
#include "tools/testhost/plugin_host.h"

namespace {

TEST(DllProcessing, RendersTheNativeReference) {
  std::vector<float> reference;
  ASSERT_TRUE(reference_case::readFile(MULCHVOICE_PROCESSING_REFERENCE, reference))
      << "cannot read " << MULCHVOICE_PROCESSING_REFERENCE;

  testhost::PluginHost host;
  std::string error;
  ASSERT_TRUE(host.load(testhost::defaultPluginPath(), &error)) << error;
  AEffect* effect = host.instantiate();
  ASSERT_NE(nullptr, effect);
  ASSERT_NE(0, effect->flags & effFlagsCanReplacing);

  bool outputsDiffer = false;
  const std::vector<float> rendering = reference_case::render(
      [&](float** inputs, float** outputs, int n) {
        effect->processReplacing(effect, inputs, outputs, n);
      },
      [&](int32_t index, float value) { effect->setParameter(effect, index, value); },
      outputsDiffer);
  EXPECT_FALSE(outputsDiffer) << "the two outputs must carry the same samples";

  const reference_case::Agreement a = reference_case::compare(reference, rendering);
  ASSERT_TRUE(a.sameLength);
  std::printf("  %zu of %zu samples bit-identical to the native build, error %.1f dB\n",
              a.identical, rendering.size(), a.decibels);
  EXPECT_LT(a.decibels, reference_case::kBoundDecibels);
  host.close(effect);
}

}  // namespace

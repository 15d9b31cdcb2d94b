// The plug-in driven through its dispatcher and parameter entries, as hosts drive it: what it
// does with odd or hostile arguments. The programs and their names are tested natively
// (tests/native/parameters_and_programs_test.cpp), on the same code.

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/parameters.h"
#include "tests/wine/plugin_test.h"

namespace {

class DispatcherTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    if (HasFatalFailure()) return;
    effect = instantiate();
    ASSERT_NE(effect, nullptr);
  }
  void TearDown() override {
    if (effect != nullptr) {
      EXPECT_EQ(host.close(effect), 1);
    }
  }

  std::vector<float> parameters() const {
    std::vector<float> values;
    for (int32_t i = 0; i < 8; ++i) values.push_back(effect->getParameter(effect, i));
    return values;
  }

  AEffect* effect = nullptr;
};

}  // namespace

TEST_F(DispatcherTest, ParameterTextsAreEmptyAndStayInTheirBuffer) {
  for (int32_t opcode : {effGetParamLabel, effGetParamDisplay, effGetParamName}) {
    for (int32_t index : {0, 7, 8, -1}) {
      char buffer[64];
      std::memset(buffer, 0x7F, sizeof buffer);
      EXPECT_EQ(dispatch(effect, opcode, index, 0, buffer), 0);
      EXPECT_EQ(buffer[0], '\0') << "opcode " << opcode << ", index " << index;
      for (size_t i = 1; i < sizeof buffer; ++i) {
        ASSERT_EQ(buffer[i], 0x7F) << "opcode " << opcode << ", index " << index << ", byte " << i;
      }
    }
  }
}

TEST_F(DispatcherTest, IdentifiesItselfAndAnswersUnknownOpcodesWithZero) {
  EXPECT_EQ(dispatch(effect, effIdentify), 0x4E764566) << "'NvEf'";
  effect->setParameter(effect, kSpeech, 0.5f);
  const std::vector<float> before = parameters();
  char buffer[64] = "untouched";
  for (int32_t opcode : {23, 24, 100, 0x7FFF, INT_MAX, -1, -100, INT_MIN}) {
    EXPECT_EQ(dispatch(effect, opcode, 1, 1, buffer, 1.0f), 0) << "opcode " << opcode;
  }
  EXPECT_EQ(parameters(), before);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(dispatch(effect, effGetProgram), 0);
}

TEST_F(DispatcherTest, OutOfRangeParameterIndicesAreIgnored) {
  const std::vector<float> before = parameters();
  for (int32_t index : {8, 9, 1000, INT_MAX, -1, INT_MIN}) {
    effect->setParameter(effect, index, 0.123f);
    EXPECT_EQ(effect->getParameter(effect, index), 0.0f) << "index " << index;
  }
  EXPECT_EQ(parameters(), before);
}

// Block sizes come from the host; none of them, however odd, may upset processing.
TEST_F(DispatcherTest, ProcessesAfterAnyBlockSize) {
  std::vector<float> in1(5000), in2(5000), out1(5000), out2(5000);
  for (size_t i = 0; i < in1.size(); ++i) {
    in1[i] = 0.4f * std::sin(0.02f * i);
    in2[i] = 0.4f * std::sin(0.2f * i);
  }
  for (int32_t blockSize : {16777217, 4096, 1, 0, -1, INT_MAX, INT_MIN}) {
    EXPECT_EQ(dispatch(effect, effSetBlockSize, 0, blockSize), 0);
    for (int32_t frames : {1, 512, 3000, 3001, 5000}) {
      std::vector<float> a(in1.begin(), in1.begin() + frames), b(in2.begin(), in2.begin() + frames);
      float* inputs[] = {a.data(), b.data()};
      float* outputs[] = {out1.data(), out2.data()};
      effect->processReplacing(effect, inputs, outputs, frames);
      for (int32_t i = 0; i < frames; ++i) {
        ASSERT_TRUE(std::isfinite(out1[i]) && out1[i] == out2[i])
            << "block size " << blockSize << ", " << frames << " frames, frame " << i;
      }
    }
  }
  EXPECT_EQ(dispatch(effect, effIdentify), 0x4E764566) << "still answering";
}

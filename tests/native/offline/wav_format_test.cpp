// Sample conversion: every integer code survives decode and encode, rounding goes to the
// nearest step, and values beyond full scale clip at the rails instead of wrapping around.

#include "tools/mvrender/wav_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr SampleEncoding kIntegerEncodings[] = {SampleEncoding::kPcm8, SampleEncoding::kPcm16,
                                                SampleEncoding::kPcm24, SampleEncoding::kPcm32};

float roundTrip(float value, SampleEncoding encoding) {
  unsigned char bytes[8];
  encodeSamples(&value, encoding, 1, bytes);
  float back = 0.0f;
  decodeSamples(bytes, encoding, 1, &back);
  return back;
}

TEST(SampleConversion, EveryCodeOfUpTo24BitsConvertsBackUnchanged) {
  for (SampleEncoding encoding : {SampleEncoding::kPcm8, SampleEncoding::kPcm16, SampleEncoding::kPcm24}) {
    const int bytes = bytesPerSample(encoding);
    const uint32_t codes = 1u << (8 * bytes);
    const uint32_t step = encoding == SampleEncoding::kPcm24 ? 251 : 1;
    for (uint32_t code = 0; code < codes; code += step) {
      unsigned char in[3] = {static_cast<unsigned char>(code), static_cast<unsigned char>(code >> 8),
                             static_cast<unsigned char>(code >> 16)};
      float sample = 0.0f;
      decodeSamples(in, encoding, 1, &sample);
      ASSERT_GE(sample, -1.0f);
      ASSERT_LT(sample, 1.0f);
      unsigned char out[3] = {0, 0, 0};
      encodeSamples(&sample, encoding, 1, out);
      ASSERT_EQ(0, std::memcmp(in, out, bytes)) << encodingName(encoding) << " code " << code;
    }
  }
}

TEST(SampleConversion, SignExtendsAndScales) {
  const unsigned char minus1[] = {0xFF, 0xFF, 0xFF};
  float v = 0.0f;
  decodeSamples(minus1, SampleEncoding::kPcm24, 1, &v);
  EXPECT_EQ(-1.0f / 8388608.0f, v);
  const unsigned char most[] = {0x00, 0x00, 0x80};
  decodeSamples(most, SampleEncoding::kPcm24, 1, &v);
  EXPECT_EQ(-1.0f, v);
  const unsigned char silence8 = 128;
  decodeSamples(&silence8, SampleEncoding::kPcm8, 1, &v);
  EXPECT_EQ(0.0f, v);
}

TEST(SampleConversion, RoundsToTheNearestStep) {
  const float step = 1.0f / 32768.0f;
  EXPECT_EQ(0.0f, roundTrip(0.49f * step, SampleEncoding::kPcm16));
  EXPECT_EQ(step, roundTrip(0.51f * step, SampleEncoding::kPcm16));
  EXPECT_EQ(-step, roundTrip(-0.51f * step, SampleEncoding::kPcm16));
  EXPECT_EQ(3 * step, roundTrip(3.2f * step, SampleEncoding::kPcm16));
}

TEST(SampleConversion, IntegerEncodingsClipAtFullScaleAndNeverWrap) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> loud = {1.0f, 1.5f, 100.0f, inf, -1.0f, -1.5f, -inf, nan};
  for (SampleEncoding encoding : kIntegerEncodings) {
    std::vector<unsigned char> bytes(loud.size() * 4);
    EXPECT_EQ(5u, encodeSamples(loud.data(), encoding, loud.size(), bytes.data()))
        << encodingName(encoding) << ": 1.5, 100, inf, -1.5 and -inf lie beyond full scale";
    std::vector<float> back(loud.size());
    decodeSamples(bytes.data(), encoding, loud.size(), back.data());
    const float top = back[0];
    EXPECT_GT(top, 0.99f) << encodingName(encoding);
    for (int i : {1, 2, 3}) EXPECT_EQ(top, back[i]) << encodingName(encoding) << " value " << i;
    for (int i : {4, 5, 6}) EXPECT_EQ(-1.0f, back[i]) << encodingName(encoding) << " value " << i;
    EXPECT_EQ(0.0f, back[7]) << encodingName(encoding) << ": NaN becomes silence";
  }
}

TEST(SampleConversion, FloatKeepsLevelsBeyondFullScaleButNotNaN) {
  for (SampleEncoding encoding : {SampleEncoding::kFloat32, SampleEncoding::kFloat64}) {
    EXPECT_EQ(1.5f, roundTrip(1.5f, encoding));
    EXPECT_EQ(-0.123456789f, roundTrip(-0.123456789f, encoding));
    EXPECT_EQ(0.0f, roundTrip(std::numeric_limits<float>::quiet_NaN(), encoding));
    EXPECT_EQ(0.0f, roundTrip(-std::numeric_limits<float>::infinity(), encoding));
  }
}

}  // namespace

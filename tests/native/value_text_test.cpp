// The short texts beside a parameter value: every one fills a field of exactly 8 characters
// (long2string: at most 8) and never writes past the 9-byte buffer.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>

#include "host/audio_effect.h"

namespace {

class PlainEffect : public AudioEffect {
 public:
  PlainEffect() : AudioEffect(nullptr, 1, 1) {}
  void process(float**, float**, int32_t) override {}
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
const std::string kHuge = " Huge!  ";
const std::string kMinusInfinity = std::string("   -") + '\xB0' + "   ";

// Runs a conversion into a buffer with guard bytes on both sides and returns the text. Fails
// the test when the text is not terminated within 9 bytes or a guard byte was touched.
constexpr size_t kGuard = 16;
constexpr char kGuardByte = '\x5A';

std::string convert(const std::function<void(char*)>& conversion) {
  char buffer[kGuard + 9 + kGuard];
  std::memset(buffer, kGuardByte, sizeof buffer);
  char* text = buffer + kGuard;
  conversion(text);
  for (size_t i = 0; i < kGuard; ++i) {
    EXPECT_EQ(buffer[i], kGuardByte) << "written before the buffer at " << i;
    EXPECT_EQ(text[9 + i], kGuardByte) << "written past the 9-byte buffer at " << 9 + i;
  }
  const void* end = std::memchr(text, '\0', 9);
  EXPECT_NE(end, nullptr) << "no terminator within 9 bytes";
  if (end == nullptr) return std::string(text, 9);
  return std::string(text);
}

std::string float2string(float v) {
  PlainEffect e;
  return convert([&](char* t) { e.float2string(v, t); });
}
std::string long2string(int32_t v) {
  PlainEffect e;
  return convert([&](char* t) { e.long2string(v, t); });
}
std::string dB2string(float v) {
  PlainEffect e;
  return convert([&](char* t) { e.dB2string(v, t); });
}
std::string Hz2string(float v) {
  PlainEffect e;
  return convert([&](char* t) { e.Hz2string(v, t); });
}
std::string ms2string(float v) {
  PlainEffect e;
  return convert([&](char* t) { e.ms2string(v, t); });
}

TEST(FloatToString, FixedPointTextsTruncateToEightPlaces) {
  const struct {
    float value;
    const char* text;
  } cases[] = {
      {0.0f, "0.000000"},      {-0.0f, "0.000000"},     {1.5f, "1.500000"},
      {12.5f, "12.50000"},     {-12.5f, "-12.5000"},    {-0.25f, "-0.25000"},
      {100.0f, "100.0000"},    {123.456f, "123.4560"},  {0.7f, "0.699999"},
      {1234567.0f, "1234567."}, {999999.0f, "999999.0"}, {-999999.0f, "-999999."},
      {9.999999f, "9.999999"}, {1.0e-30f, "0.000000"},  {-1.0e-30f, "-0.00000"},
  };
  for (const auto& c : cases) EXPECT_EQ(float2string(c.value), c.text) << "value " << c.value;
}

TEST(FloatToString, OutOfRangeValuesReadHuge) {
  for (float v : {1.0e9f, -2.0e7f, 100000000.0f, -10000000.0f, kInf, -kInf,
                  std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest()})
    EXPECT_EQ(float2string(v), kHuge) << "value " << v;
}

TEST(FloatToString, NotANumberReadsNegativeZero) {
  EXPECT_EQ(float2string(kNaN), "-0.00000");
  EXPECT_EQ(float2string(-kNaN), "-0.00000");
}

TEST(FloatToString, FullIntegerFieldDropsThePoint) {
  EXPECT_EQ(float2string(12345678.0f), "12345678");
  EXPECT_EQ(float2string(10000000.0f), "10000000");
  EXPECT_EQ(float2string(99999992.0f), "99999992");  // the largest float below the limit
  EXPECT_EQ(float2string(-1234567.0f), "-1234567");
  EXPECT_EQ(float2string(-1000000.0f), "-1000000");
  EXPECT_EQ(float2string(-9999999.0f), "-9999999");
}

// Digits of a text, checked against the value it came from: the integer digits exactly, the
// fraction truncated to the places left.
void expectTextShowsValue(float value, const std::string& text) {
  ASSERT_EQ(text.size(), 8u) << "value " << value << " gave \"" << text << "\"";
  const double v = value;
  const bool negative = v < 0.0 || std::isnan(v);
  const double limit = negative ? 9999999.0 : 99999999.0;
  if (std::isnan(v) || std::fabs(v) > limit) {
    ASSERT_TRUE(std::isnan(v) ? text == "-0.00000" : text == kHuge)
        << "value " << value << " gave \"" << text << "\"";
    return;
  }
  ASSERT_EQ(text[0] == '-', negative) << "sign of " << value << " in \"" << text << "\"";
  char integer[64];
  std::snprintf(integer, sizeof integer, "%s%.0f", negative ? "-" : "", std::floor(std::fabs(v)));
  const size_t integerLength = std::strlen(integer);
  ASSERT_EQ(text.substr(0, integerLength), integer) << "integer digits of " << value;
  if (integerLength == 8) return;
  ASSERT_EQ(text[integerLength], '.') << "value " << value << " gave \"" << text << "\"";
  const size_t places = 8 - integerLength - 1;
  if (places == 0) return;
  const double shown = std::fabs(std::strtod(text.c_str(), nullptr));
  const double step = std::pow(10.0, -static_cast<double>(places));
  const double magnitude = std::fabs(v);
  EXPECT_LE(shown, magnitude * (1.0 + 1e-15))
      << "digits are truncated, never rounded up: " << value << " gave \"" << text << "\"";
  EXPECT_LT(magnitude - shown, step * (1.0 + 1e-9))
      << "a fraction digit is wrong: " << value << " gave \"" << text << "\"";
}

TEST(FloatToString, SweepOfRandomValuesFillsEightPlacesWithTheRightDigits) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<uint32_t> anyBits;
  std::uniform_real_distribution<double> exponent(-12.0, 9.0);
  for (int i = 0; i < 200000; ++i) {
    float value;
    if (i % 2 == 0) {
      const uint32_t bits = anyBits(random);
      std::memcpy(&value, &bits, sizeof value);
    } else {
      value = static_cast<float>(std::pow(10.0, exponent(random)));
      if (i % 4 == 1) value = -value;
      if (i % 8 == 3) value = std::floor(value);
    }
    expectTextShowsValue(value, float2string(value));
    if (testing::Test::HasFatalFailure()) return;
  }
}

TEST(FloatToString, EveryIntegerDigitCountAtItsEdges) {
  for (double p = 1.0; p <= 1.0e8; p *= 10.0) {
    for (double d : {-1.0, 0.0, 1.0}) {
      for (double sign : {1.0, -1.0}) {
        const float value = static_cast<float>(sign * (p + d));
        expectTextShowsValue(value, float2string(value));
      }
    }
  }
}

TEST(LongToString, RightAlignedInSevenPlaces) {
  EXPECT_EQ(long2string(5), "      5");
  EXPECT_EQ(long2string(-5), "     -5");
  EXPECT_EQ(long2string(0), "      0");
  EXPECT_EQ(long2string(1234567), "1234567");
  EXPECT_EQ(long2string(99999999), "99999999");
  EXPECT_EQ(long2string(-9999999), "-9999999");
}

TEST(LongToString, NumbersTooWideForTheFieldReadHuge) {
  for (int32_t v : {100000000, -10000000, -99999999, std::numeric_limits<int32_t>::max(),
                    std::numeric_limits<int32_t>::min()})
    EXPECT_EQ(long2string(v), kHuge) << "value " << v;
}

TEST(LongToString, SweepOfRandomNumbersFitsTheField) {
  std::mt19937 random(8122026);
  std::uniform_int_distribution<int32_t> anyNumber(std::numeric_limits<int32_t>::min(),
                                                   std::numeric_limits<int32_t>::max());
  std::uniform_int_distribution<int32_t> fieldNumber(-12000000, 120000000);
  for (int i = 0; i < 100000; ++i) {
    const int32_t value = i % 2 == 0 ? anyNumber(random) : fieldNumber(random);
    const std::string text = long2string(value);
    ASSERT_LE(text.size(), 8u) << "value " << value;
    if (value >= 100000000 || value < -9999999) {
      ASSERT_EQ(text, kHuge) << "value " << value;
    } else {
      ASSERT_GE(text.size(), 7u) << "value " << value;
      ASSERT_EQ(std::atol(text.c_str()), value) << "text \"" << text << "\"";
    }
  }
}

TEST(DecibelsToString, GainsInDecibels) {
  EXPECT_EQ(dB2string(1.0f), "0.000000");
  EXPECT_EQ(dB2string(0.5f), "-6.02059");
  EXPECT_EQ(dB2string(2.0f), "6.020599");
  EXPECT_EQ(dB2string(0.1f), "-20.0000");
  EXPECT_EQ(dB2string(std::numeric_limits<float>::denorm_min()), "-897.069");
  EXPECT_EQ(dB2string(kInf), kHuge);
}

TEST(DecibelsToString, NoGainReadsMinusInfinity) {
  for (float v : {0.0f, -0.0f, -1.0f, -kInf, kNaN}) {
    const std::string text = dB2string(v);
    EXPECT_EQ(text, kMinusInfinity) << "value " << v;
    ASSERT_EQ(text.size(), 8u);
    EXPECT_EQ(static_cast<unsigned char>(text[4]), 0xB0u) << "the byte is stored unconverted";
  }
}

TEST(HertzToString, PeriodInSamplesAsFrequency) {
  EXPECT_EQ(Hz2string(100.0f), "441.0000");
  EXPECT_EQ(Hz2string(44100.0f), "1.000000");
  EXPECT_EQ(Hz2string(1.0f), "44100.00");
  EXPECT_EQ(Hz2string(0.0f), "0.000000");
  EXPECT_EQ(Hz2string(-0.0f), "0.000000");
  EXPECT_EQ(Hz2string(1.0e-30f), kHuge);
  EXPECT_EQ(Hz2string(kNaN), "-0.00000");
}

TEST(MillisecondsToString, SampleCountAsTime) {
  EXPECT_EQ(ms2string(44100.0f), "1000.000");
  EXPECT_EQ(ms2string(441.0f), "10.00000");
  EXPECT_EQ(ms2string(100.0f), "2.267573");
  EXPECT_EQ(ms2string(0.0f), "0.000000");
  EXPECT_EQ(ms2string(1.0e30f), kHuge);
}

// Conversions reach float2string and getSampleRate through the virtual table, so an effect
// that overrides them changes every conversion built on them.
class RateAndFormatEffect : public AudioEffect {
 public:
  RateAndFormatEffect() : AudioEffect(nullptr, 1, 1) {}
  void process(float**, float**, int32_t) override {}
  float getSampleRate() override { return 48000.0f; }
  void float2string(float value, char* text) override {
    lastValue = value;
    AudioEffect::float2string(value, text);
  }
  float lastValue = 0.0f;
};

TEST(ConversionsUseTheEffectsOverrides, RateAndFormatComeFromTheEffect) {
  RateAndFormatEffect e;
  EXPECT_EQ(convert([&](char* t) { e.Hz2string(100.0f, t); }), "480.0000");
  EXPECT_EQ(e.lastValue, 480.0f);
  EXPECT_EQ(convert([&](char* t) { e.ms2string(480.0f, t); }), "10.00000");
  EXPECT_EQ(e.lastValue, 10.0f);
  EXPECT_EQ(convert([&](char* t) { e.dB2string(10.0f, t); }), "20.00000");
  EXPECT_EQ(e.lastValue, 20.0f);
}

TEST(ConversionsUseTheEffectsOverrides, SampleRateSetByTheHostIsUsed) {
  PlainEffect e;
  e.setSampleRate(96000.0f);
  EXPECT_EQ(convert([&](char* t) { e.Hz2string(96.0f, t); }), "1000.000");
}

}  // namespace

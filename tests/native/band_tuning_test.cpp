// Band tuning: the coefficients each band gets from its centre frequency and the "filter"
// width, the bank's handling of band numbers, and states that survive every retuning.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/band_filter.h"
#include "engine/band_filter_bank.h"
#include "engine/channel_vocoder.h"
#include "engine/parameters.h"
#include "tests/native/vocoder_probe.h"

namespace {

constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();

// Checks `actual` against a decimal written to a limited number of places: it must round to
// that decimal, allowing for the rounding of the stored 32-bit float.
void expectDigits(float actual, const char* decimal, const std::string& what) {
  const char* point = std::strchr(decimal, '.');
  const int places = point != nullptr ? static_cast<int>(std::strlen(point + 1)) : 0;
  const double halfUnit = 0.5 * std::pow(10.0, -places);
  const double ulp = std::fabs(std::nextafter(actual, 0.0f) - actual);
  EXPECT_NEAR(actual, std::strtod(decimal, nullptr), halfUnit + ulp) << what;
}

// Angles of bands 1 to 8 in radians per sample, as they are written down for the design.
const char* const kBandAngles[kNumBands] = {"0.0256449", "0.0353330", "0.0522871", "0.0767922",
                                            "0.112695",  "0.163985",  "0.242629",  "0.356179"};

struct Coefficients {
  double b1, b2, a0;
};

// The resonator design in double precision, from an angle and the width parameter.
Coefficients design(double angle, double filter) {
  const double bandwidth = (std::exp(3.0 * filter) - 1.0) * 0.05 * angle * 0.4;
  const double k = std::sqrt(3.0 / 7.0);
  const double B = 1.0 / (k * std::tan(bandwidth / 2.0) + 1.0);
  return {-2.0 * B * std::cos(angle), 2.0 * B - 1.0, 1.0 - B};
}

// The bandwidth a record was designed with, recovered from its a0 = 1 - B.
double bandwidthOf(const BandValues& band) {
  const double B = 1.0 - static_cast<double>(band.a0);
  return 2.0 * std::atan((1.0 / B - 1.0) / std::sqrt(3.0 / 7.0));
}

BandValues tunedBand(float filter, int32_t band) {
  ChannelVocoder v;
  v.setParameter(kFilter, filter);
  v.retune();
  return bandOf(v, band);
}

BandValues bandOf(const BandFilterBank& bank, int32_t band) {
  BandFilter record;
  bank.getBand(band, record);
  return valuesOf(record);
}

TEST(BandTuning, DefaultWidthLowestAndHighestBand) {
  const BandValues band1 = tunedBand(0.4f, 1);
  expectDigits(band1.b1, "-1.998564", "band 1 b1");
  expectDigits(band1.b2, "0.999221", "band 1 b2");
  expectDigits(band1.a0, "0.000389362", "band 1 a0");
  expectDigits(band1.a1, "-0.000389362", "band 1 a1");
  expectDigits(static_cast<float>(bandwidthOf(band1)), "0.00118998", "band 1 bandwidth");

  const BandValues band8 = tunedBand(0.4f, 8);
  expectDigits(band8.b1, "-1.864386", "band 8 b1");
  expectDigits(band8.b2, "0.989238", "band 8 b2");
  expectDigits(band8.a0, "0.00538092", "band 8 a0");
  expectDigits(band8.a1, "-0.00538092", "band 8 a1");
  expectDigits(static_cast<float>(bandwidthOf(band8)), "0.0165275", "band 8 bandwidth");
}

TEST(BandTuning, WidestFilterHighestBand) {
  const BandValues band8 = tunedBand(1.0f, 8);
  expectDigits(band8.b1, "-1.794489", "b1");
  expectDigits(band8.b2, "0.914661", "b2");
  expectDigits(band8.a0, "0.0426694", "a0");
  EXPECT_EQ(band8.a1, -band8.a0);
  expectDigits(static_cast<float>(bandwidthOf(band8)), "0.135957", "bandwidth");
}

TEST(BandTuning, ZeroWidthLeavesUndampedResonators) {
  for (int32_t band = 1; band <= kNumBands; ++band) {
    const BandValues b = tunedBand(0.0f, band);
    EXPECT_EQ(b.a0, 0.0f) << "band " << band;
    EXPECT_EQ(b.a1, 0.0f) << "band " << band;
    EXPECT_EQ(b.b2, 1.0f) << "band " << band << ": poles on the unit circle";
    const double angle = std::strtod(kBandAngles[band - 1], nullptr);
    EXPECT_NEAR(b.b1, -2.0 * std::cos(angle), 2.0 * std::sin(angle) * 5e-7 + 2.5e-7)
        << "band " << band;
  }
}

// Every band at several widths against the design evaluated at the written angle; the
// tolerance is what the angle's last written digit leaves open, plus the float rounding.
TEST(BandTuning, EveryBandSitsAtItsCentreFrequency) {
  for (float filter : {0.0f, 0.1f, 0.4f, 0.75f, 1.0f}) {
    ChannelVocoder v;
    v.setParameter(kFilter, filter);
    v.retune();
    for (int32_t band = 1; band <= kNumBands; ++band) {
      const char* written = kBandAngles[band - 1];
      const double angle = std::strtod(written, nullptr);
      const double halfUnit = 0.5 * std::pow(10.0, -static_cast<double>(
                                                       std::strlen(std::strchr(written, '.') + 1)));
      const Coefficients mid = design(angle, filter);
      const Coefficients low = design(angle - halfUnit, filter);
      const Coefficients high = design(angle + halfUnit, filter);
      auto tolerance = [](double m, double l, double h) {
        return std::fmax(std::fabs(l - m), std::fabs(h - m)) + 2.0 * std::fabs(m) * 6e-8 + 1e-12;
      };
      const BandValues b = bandOf(v, band);
      const std::string where = "band " + std::to_string(band) + ", filter " + std::to_string(filter);
      EXPECT_NEAR(b.b1, mid.b1, tolerance(mid.b1, low.b1, high.b1)) << where;
      EXPECT_NEAR(b.b2, mid.b2, tolerance(mid.b2, low.b2, high.b2)) << where;
      EXPECT_NEAR(b.a0, mid.a0, tolerance(mid.a0, low.a0, high.a0)) << where;
      EXPECT_EQ(b.a1, -b.a0) << where;
    }
  }
}

TEST(BandTuning, WiderFilterMeansMoreDamping) {
  for (int32_t band = 1; band <= kNumBands; ++band) {
    float previousA0 = -1.0f, previousB2 = 2.0f;
    for (int step = 0; step <= 20; ++step) {
      const BandValues b = tunedBand(static_cast<float>(step) / 20.0f, band);
      EXPECT_GT(b.a0, previousA0) << "band " << band << ", step " << step;
      EXPECT_LT(b.b2, previousB2) << "band " << band << ", step " << step;
      EXPECT_GT(b.b2, 0.0f) << "0 < B <= 1 keeps the poles inside the unit circle";
      previousA0 = b.a0;
      previousB2 = b.b2;
    }
  }
}

TEST(BandFilterRecord, StartsSilentAndKeepsItsStateWhenTuned) {
  BandFilter filter;
  const BandValues fresh = valuesOf(filter);
  EXPECT_TRUE(fresh.stateIsZero());

  filter.setState(1.0f, -2.0f, 3.0f, -4.0f, 5.0f);
  filter.setCoefficients(0.0256449f, 0.00118998f);
  const BandValues tuned = valuesOf(filter);
  expectDigits(tuned.b1, "-1.998564", "b1");
  expectDigits(tuned.b2, "0.999221", "b2");
  // The bandwidth passed is itself rounded to six digits, and a0 follows it in proportion.
  EXPECT_NEAR(tuned.a0, 0.000389362, 0.000389362 * 5e-6);
  EXPECT_EQ(tuned.a1, -tuned.a0);
  EXPECT_EQ(tuned.speechZ1, 1.0f);
  EXPECT_EQ(tuned.speechZ2, -2.0f);
  EXPECT_EQ(tuned.carrierZ1, 3.0f);
  EXPECT_EQ(tuned.carrierZ2, -4.0f);
  EXPECT_EQ(tuned.envZ1, 5.0f);
}

// Gives every band of a bank its own coefficients and states.
void fillBank(BandFilterBank& bank) {
  for (int32_t band = 1; band <= kNumBands; ++band) {
    const float f = static_cast<float>(band);
    bank.setCoefficients(band, 0.01f * f, 0.001f * f);
    bank.setState(band, f, f + 0.1f, f + 0.2f, f + 0.3f, f + 0.4f);
  }
}

std::vector<BandValues> bankValues(const BandFilterBank& bank) {
  std::vector<BandValues> values;
  for (int32_t band = 1; band <= kNumBands; ++band) values.push_back(bandOf(bank, band));
  return values;
}

TEST(BandFilterBank, GetBandCopiesTheWholeRecord) {
  BandFilterBank bank;
  fillBank(bank);
  for (int32_t band = 1; band <= kNumBands; ++band) {
    BandFilter expected;
    const float f = static_cast<float>(band);
    expected.setCoefficients(0.01f * f, 0.001f * f);
    expected.setState(f, f + 0.1f, f + 0.2f, f + 0.3f, f + 0.4f);
    const BandValues got = bandOf(bank, band), want = valuesOf(expected);
    EXPECT_TRUE(got.sameCoefficients(want)) << "band " << band;
    EXPECT_TRUE(got.sameState(want)) << "band " << band;
  }
}

TEST(BandFilterBank, BandNumbersOutsideOneToEightAreIgnored) {
  BandFilterBank bank;
  fillBank(bank);
  const std::vector<BandValues> before = bankValues(bank);
  for (int32_t band : {0, 9, -1, 10, kIntMin, kIntMax}) {
    bank.setCoefficients(band, 0.5f, 0.5f);
    bank.setState(band, 9.0f, 9.0f, 9.0f, 9.0f, 9.0f);

    BandFilter out;
    out.setCoefficients(0.3f, 0.03f);
    out.setState(7.0f, 7.0f, 7.0f, 7.0f, 7.0f);
    const BandValues outBefore = valuesOf(out);
    bank.getBand(band, out);
    const BandValues outAfter = valuesOf(out);
    EXPECT_TRUE(outAfter.sameCoefficients(outBefore) && outAfter.sameState(outBefore))
        << "getBand(" << band << ") must leave its output alone";
  }
  const std::vector<BandValues> after = bankValues(bank);
  for (size_t b = 0; b < after.size(); ++b) {
    EXPECT_TRUE(after[b].sameCoefficients(before[b])) << "band " << b + 1;
    EXPECT_TRUE(after[b].sameState(before[b])) << "band " << b + 1;
  }
}

TEST(BandFilterBank, OperationsReachOnlyTheNamedBand) {
  BandFilterBank bank;
  fillBank(bank);
  for (int32_t band = 1; band <= kNumBands; ++band) {
    const std::vector<BandValues> before = bankValues(bank);
    bank.setCoefficients(band, 0.2f, 0.02f);
    bank.setState(band, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f);
    const std::vector<BandValues> after = bankValues(bank);
    for (int32_t other = 1; other <= kNumBands; ++other) {
      if (other == band) continue;
      EXPECT_TRUE(after[other - 1].sameCoefficients(before[other - 1]) &&
                  after[other - 1].sameState(before[other - 1]))
          << "changing band " << band << " touched band " << other;
    }
  }
}

TEST(BandTuning, RetuningLeavesEveryStateAlone) {
  ChannelVocoder v;
  runNoise(v, 700);
  const std::vector<BandValues> before = allBands(v);
  for (const BandValues& band : before) ASSERT_FALSE(band.stateIsZero());

  for (float filter : {1.0f, 0.0f, 0.25f, 2.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
    v.setParameter(kFilter, filter);
    v.retune();
    const std::vector<BandValues> after = allBands(v);
    for (size_t b = 0; b < after.size(); ++b)
      EXPECT_TRUE(after[b].sameState(before[b])) << "band " << b + 1 << ", filter " << filter;
  }
  // Other parameters retune nothing.
  const std::vector<BandValues> tuned = allBands(v);
  for (int32_t index : {kCarrier, kSpeech, kMorph, kFreq, kGain, kSwitchCS, kMulchIO}) {
    v.setParameter(index, 0.5f);
    v.retune();
    const std::vector<BandValues> after = allBands(v);
    for (size_t b = 0; b < after.size(); ++b)
      EXPECT_TRUE(after[b].sameCoefficients(tuned[b]) && after[b].sameState(tuned[b]))
          << "parameter " << index << " changed band " << b + 1;
  }
}

}  // namespace

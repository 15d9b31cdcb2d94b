// What a switch shows for a parameter value: lit only at exactly 1.0.

#include "editor/switch_state.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(SwitchState, LitOnlyAtExactlyOne) {
  EXPECT_EQ(switchState(1.0f), kSwitchOn);
  EXPECT_EQ(switchState(0.999f), kSwitchOff);
  EXPECT_EQ(switchState(std::nextafter(1.0f, 0.0f)), kSwitchOff);
  EXPECT_EQ(switchState(0.0f), kSwitchOff);
  EXPECT_EQ(switchState(0.7f), kSwitchOff);
  EXPECT_EQ(switchState(-0.5f), kSwitchOff) << "truncation runs towards zero";
  EXPECT_EQ(switchState(1.5f), kSwitchOn);
}

TEST(SwitchState, OutOfRangeValuesShowNeither) {
  for (float v : {2.0f, -1.0f, 1e9f, -1e9f, 65536.0f, 65537.0f, INFINITY, -INFINITY, NAN}) {
    const int16_t s = switchState(v);
    EXPECT_NE(s, kSwitchOff) << "value " << v << " must not wrap round to off";
    EXPECT_NE(s, kSwitchOn) << "value " << v << " must not wrap round to on";
  }
}

}  // namespace

#pragma once
// Whether two floats hold the same bit pattern. Unlike ==, it tells -0.0 from +0.0 and finds a
// NaN equal to itself: what "bit for bit" means when a setting is compared with the one the
// coefficients came from, or a sample with the one it must reproduce.

#include <cstring>

inline bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

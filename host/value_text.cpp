// Value-to-text conversions: short texts a host shows beside a parameter value. Every text
// fills a field of 8 characters plus the terminator, so the buffer must hold 9 bytes.

#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/audio_effect.h"

namespace {

constexpr int kField = 8;
constexpr const char* kHugeText = " Huge!  ";
constexpr const char kMinusInfinityText[] = {' ', ' ', ' ', '-', '\xB0', ' ', ' ', ' ', '\0'};

// The last decimal digit of a whole number held in a double; 0 for NaN.
char lastDigit(double x) {
  double d = std::trunc(std::fmod(x, 10.0));
  if (!(d >= 0.0 && d <= 9.0)) d = 0.0;
  return static_cast<char>('0' + static_cast<int>(d));
}

}  // namespace

void AudioEffect::dB2string(float value, char* text) {
  if (text == nullptr) return;
  if (value > 0.0f)
    float2string(static_cast<float>(20.0 * std::log10(static_cast<double>(value))), text);
  else
    std::memcpy(text, kMinusInfinityText, sizeof kMinusInfinityText);
}

void AudioEffect::Hz2string(float samples, char* text) {
  if (samples != 0.0f)
    float2string(static_cast<float>(static_cast<double>(getSampleRate()) / samples), text);
  else
    float2string(0.0f, text);
}

void AudioEffect::ms2string(float samples, char* text) {
  float2string(
      static_cast<float>(static_cast<double>(samples) * 1000.0 / static_cast<double>(getSampleRate())),
      text);
}

// Fixed point, exactly 8 characters: sign, every integer digit, the point, then as many
// fraction digits as fill the field. Digits are truncated, never rounded. The text is built
// from right to left, as the digits come out.
void AudioEffect::float2string(float value, char* text) {
  if (text == nullptr) return;
  double v = value;
  const bool negative = v < 0.0 || std::isnan(v);  // NaN reads "-0.00000"
  int count = 0;
  double limit = 99999999.0;
  if (negative) {
    v = -v;
    count = 1;
    limit = 9999999.0;
  }
  if (v > limit) {
    std::memcpy(text, kHugeText, kField + 1);
    return;
  }

  char scratch[kField + 2];
  int left = kField + 1;  // scratch[left..kField] holds what is written so far
  scratch[left] = '.';
  ++count;
  double i = std::floor(v);
  do {
    scratch[--left] = lastDigit(i);
    ++count;
    i *= 0.1;
  } while (i >= 1.0);
  if (negative) scratch[--left] = '-';

  // Eight integer digits (or a sign and seven) leave no place for the point: it is dropped, so
  // that the text still fits its field and shows every digit.
  int length = kField + 2 - left;
  if (count > kField) --length;
  std::memcpy(text, scratch + left, static_cast<size_t>(length));
  text[length] = '\0';
  if (count >= kField) return;

  const int n = kField - count;
  double m = std::fmod(v, 1.0) * std::pow(10.0, n);
  char* fraction = text + length;
  for (int place = n - 1; place >= 0; --place) {
    if (m > 0.0) {
      fraction[place] = lastDigit(m);
      m *= 0.1;
    } else {
      fraction[place] = '0';
    }
  }
  fraction[n] = '\0';
}

// "%7d", or " Huge!  " for numbers that do not fit the field (a plain cut would show a
// different number).
void AudioEffect::long2string(int32_t value, char* text) {
  if (text == nullptr) return;
  if (value >= 100000000 || value < -9999999) {
    std::memcpy(text, kHugeText, kField + 1);
    return;
  }
  char scratch[16];
  std::snprintf(scratch, sizeof scratch, "%7d", static_cast<int>(value));
  std::memcpy(text, scratch, kField);
  text[kField] = '\0';
}

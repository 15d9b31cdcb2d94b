#pragma once
// One program: the eight parameter values and a name of at most 23 characters. Values and
// name may be written by one host thread while another reads them, so each is a relaxed atomic.

#include <cstdint>

#include "engine/parameters.h"
#include "engine/relaxed_atomic.h"

constexpr int32_t kNumPrograms = 2;
constexpr int32_t kProgramNameSize = 24;  // 23 characters and the terminator

struct VocoderProgram {
  VocoderProgram();

  // Copies at most 23 characters of `text` and always terminates the stored name.
  void setName(const char* text);
  // Copies the name, terminator included, into a buffer of at least 24 bytes.
  void getName(char* text) const;

  RelaxedAtomic<float> values[kNumParams];
  RelaxedAtomic<char> name[kProgramNameSize];
};

#include "vst/vocoder_program.h"

VocoderProgram::VocoderProgram() {
  for (int32_t i = 0; i < kNumParams; ++i) values[i] = kParameterTable[i].defaultValue;
  setName("Smooth Mulch");
}

void VocoderProgram::setName(const char* text) {
  int32_t i = 0;
  for (; i < kProgramNameSize - 1 && text[i] != '\0'; ++i) name[i] = text[i];
  for (; i < kProgramNameSize; ++i) name[i] = '\0';
}

void VocoderProgram::getName(char* text) const {
  int32_t i = 0;
  do {
    text[i] = name[i];
  } while (text[i] != '\0' && ++i < kProgramNameSize);
}

#pragma once
// The effect the host gets: the vocoder together with its editor.

#include "vst/vocoder.h"

class VocoderEdit : public Vocoder {
 public:
  explicit VocoderEdit(audioMasterCallback audioMaster);
  ~VocoderEdit() override;
};

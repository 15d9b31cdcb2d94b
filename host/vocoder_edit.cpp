#include "host/vocoder_edit.h"

// The editor is built even when the vocoder ran out of memory: `main` then destroys both.
VocoderEdit::VocoderEdit(audioMasterCallback audioMaster) : Vocoder(audioMaster) {}

VocoderEdit::~VocoderEdit() = default;

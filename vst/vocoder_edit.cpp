#include "vst/vocoder_edit.h"

#include <new>

#include "editor/win32/vocoder_editor.h"

// The editor is built even when the vocoder ran out of memory: `main` then destroys both. The
// editor attaches itself when it is complete; it is kept as the effect's editor in any case,
// so that the effect's destructor deletes it (a failed allocation leaves no editor and the
// effect works without one).
VocoderEdit::VocoderEdit(audioMasterCallback audioMaster) : Vocoder(audioMaster) {
  editor = new (std::nothrow) VocoderEditor(this);
}

VocoderEdit::~VocoderEdit() = default;

// The plug-in's exported entry, `main` (exported under that name by mulchvoice.def; the C++ name
// `main` is reserved for programs): the notice box, then the vocoder with its editor.

#include <windows.h>

#include <new>

#include "host/plugin_main.h"
#include "vst/vocoder_edit.h"

namespace {

constexpr const char* kNoticeCaption = "Ferrowave";
constexpr const char* kNoticeText =
    "This is a beta copy of Mulchvoice 0.801v. Check out "
    "www.ferrowave.example"
    " for latest news!";

// Modal; the user's answer does not matter.
void showNoticeBox() { MessageBoxA(nullptr, kNoticeText, kNoticeCaption, 0); }

AudioEffect* createVocoderEdit(audioMasterCallback audioMaster) {
  return new (std::nothrow) VocoderEdit(audioMaster);
}

}  // namespace

extern "C" AEffect* VSTCALL mulchvoiceMain(audioMasterCallback audioMaster) {
  return instantiateEffect(audioMaster, showNoticeBox, createVocoderEdit);
}

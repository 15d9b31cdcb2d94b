// The library's two entry points: the loader's DllMain and the exported `main` (exported under
// that name by the module-definition file; the C++ name `main` is reserved for programs).

#include "host/dll_entry.h"

#include <new>

#include "host/plugin_main.h"
#include "host/vocoder_edit.h"

HINSTANCE hInstance = nullptr;

namespace {

void showNoticeBox(const char* caption, const char* text) {
  MessageBoxA(nullptr, text, caption, 0);
}

AudioEffect* createVocoderEdit(audioMasterCallback audioMaster) {
  return new (std::nothrow) VocoderEdit(audioMaster);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
  hInstance = instance;
  return TRUE;
}

extern "C" AEffect* VSTCALL mulchvoiceMain(audioMasterCallback audioMaster) {
  return instantiateEffect(audioMaster, showNoticeBox, createVocoderEdit);
}

// The library's entry point as the loader calls it: it records the module handle.

#include "host/dll_entry.h"

HINSTANCE hInstance = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
  hInstance = instance;
  return TRUE;
}

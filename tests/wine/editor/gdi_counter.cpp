#include "tests/wine/editor/gdi_counter.h"

#include <cstring>
#include <mutex>
#include <set>

namespace gdi_counter {

namespace {

std::mutex mutex;
std::set<HGDIOBJ> objects;
std::set<HDC> deviceContexts;
int strays = 0;

void made(HGDIOBJ handle) {
  if (handle == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex);
  objects.insert(handle);
}
void deleted(HGDIOBJ handle) {
  std::lock_guard<std::mutex> lock(mutex);
  if (objects.erase(handle) == 0) ++strays;
}
void taken(HDC dc) {
  if (dc == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex);
  deviceContexts.insert(dc);
}
void given(HDC dc) {
  std::lock_guard<std::mutex> lock(mutex);
  if (deviceContexts.erase(dc) == 0) ++strays;
}

HPEN WINAPI countedCreatePen(int style, int width, COLORREF colour) {
  HPEN pen = CreatePen(style, width, colour);
  made(pen);
  return pen;
}
HBITMAP WINAPI countedLoadBitmapA(HINSTANCE instance, LPCSTR name) {
  HBITMAP bitmap = LoadBitmapA(instance, name);
  made(bitmap);
  return bitmap;
}
HDC WINAPI countedCreateCompatibleDC(HDC dc) {
  HDC memory = CreateCompatibleDC(dc);
  made(memory);
  return memory;
}
BOOL WINAPI countedDeleteObject(HGDIOBJ object) {
  deleted(object);
  return DeleteObject(object);
}
BOOL WINAPI countedDeleteDC(HDC dc) {
  deleted(dc);
  return DeleteDC(dc);
}
HDC WINAPI countedGetDC(HWND window) {
  HDC dc = GetDC(window);
  taken(dc);
  return dc;
}
int WINAPI countedReleaseDC(HWND window, HDC dc) {
  given(dc);
  return ReleaseDC(window, dc);
}
HDC WINAPI countedBeginPaint(HWND window, LPPAINTSTRUCT paint) {
  HDC dc = BeginPaint(window, paint);
  taken(dc);
  return dc;
}
BOOL WINAPI countedEndPaint(HWND window, const PAINTSTRUCT* paint) {
  given(paint->hdc);
  return EndPaint(window, paint);
}

struct Replacement {
  const char* name;
  void* function;
  bool found;
};

}  // namespace

bool install(HMODULE module) {
  Replacement replacements[] = {
      {"CreatePen", reinterpret_cast<void*>(countedCreatePen), false},
      {"LoadBitmapA", reinterpret_cast<void*>(countedLoadBitmapA), false},
      {"CreateCompatibleDC", reinterpret_cast<void*>(countedCreateCompatibleDC), false},
      {"DeleteObject", reinterpret_cast<void*>(countedDeleteObject), false},
      {"DeleteDC", reinterpret_cast<void*>(countedDeleteDC), false},
      {"GetDC", reinterpret_cast<void*>(countedGetDC), false},
      {"ReleaseDC", reinterpret_cast<void*>(countedReleaseDC), false},
      {"BeginPaint", reinterpret_cast<void*>(countedBeginPaint), false},
      {"EndPaint", reinterpret_cast<void*>(countedEndPaint), false},
  };
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return false;
  for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      for (Replacement& r : replacements) {
        if (std::strcmp(reinterpret_cast<const char*>(byName->Name), r.name) != 0) continue;
        DWORD protection = 0;
        if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                            &protection))
          return false;
        slots->u1.Function = reinterpret_cast<ULONG_PTR>(r.function);
        VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
        r.found = true;
      }
    }
  }
  for (const Replacement& r : replacements)
    if (!r.found) return false;
  return true;
}

int liveObjects() {
  std::lock_guard<std::mutex> lock(mutex);
  return static_cast<int>(objects.size());
}

int heldDeviceContexts() {
  std::lock_guard<std::mutex> lock(mutex);
  return static_cast<int>(deviceContexts.size());
}

int strayReleases() {
  std::lock_guard<std::mutex> lock(mutex);
  return strays;
}

}  // namespace gdi_counter

#pragma once
// The library's module handle, recorded by the loader's entry call; the editor loads its
// bitmaps and registers its window class with it.

#include <windows.h>

extern HINSTANCE hInstance;

#include "tools/testhost/window_capture.h"

namespace testhost {

Image captureWindow(HWND window) {
  Image image;
  RECT client;
  if (window == nullptr || !GetClientRect(window, &client)) return image;
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return image;

  HDC windowDc = GetDC(window);
  if (windowDc == nullptr) return image;
  HDC memoryDc = CreateCompatibleDC(windowDc);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = memoryDc != nullptr
                       ? CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0)
                       : nullptr;
  if (bitmap != nullptr) {
    HGDIOBJ previous = SelectObject(memoryDc, bitmap);
    if (BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY)) {
      GdiFlush();
      // A 32-bit DIB holds blue, green, red, unused: read as little-endian 0x00RRGGBB.
      const auto* source = static_cast<const uint32_t*>(bits);
      image.width = width;
      image.height = height;
      image.pixels.assign(source, source + static_cast<size_t>(width) * height);
      for (uint32_t& pixel : image.pixels) pixel &= 0xFFFFFFu;
    }
    SelectObject(memoryDc, previous);
    DeleteObject(bitmap);
  }
  if (memoryDc != nullptr) DeleteDC(memoryDc);
  ReleaseDC(window, windowDc);
  return image;
}

}  // namespace testhost

#include "tools/testhost/png_writer.h"

#include <cstdio>

// The one translation unit that compiles stb_image_write; it needs none of its file functions.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"

namespace testhost {

namespace {

constexpr int kChannels = 3;  // red, green, blue
constexpr int kNoFilter = 0;

void appendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

std::vector<uint8_t> encodePng(const Image& image) {
  std::vector<uint8_t> png;
  if (image.empty() || image.width <= 0 || image.height <= 0) return png;
  std::vector<uint8_t> rgb;
  rgb.reserve(kChannels * image.pixels.size());
  for (uint32_t p : image.pixels) {
    rgb.push_back(static_cast<uint8_t>(p >> 16));
    rgb.push_back(static_cast<uint8_t>(p >> 8));
    rgb.push_back(static_cast<uint8_t>(p));
  }
  // Rows stored as they are, unfiltered, so that a reader of a few lines can check the pixels.
  stbi_write_force_png_filter = kNoFilter;
  if (stbi_write_png_to_func(appendBytes, &png, image.width, image.height, kChannels, rgb.data(),
                             kChannels * image.width) == 0) {
    png.clear();
  }
  return png;
}

bool writePng(const std::string& path, const Image& image) {
  const std::vector<uint8_t> png = encodePng(image);
  if (png.empty()) return false;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace testhost

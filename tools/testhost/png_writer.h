#pragma once
// PNG files of an Image: 8-bit RGB, no interlacing, written by stb_image_write.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/testhost/image.h"

namespace testhost {

// The file's bytes; empty when the image is empty.
std::vector<uint8_t> encodePng(const Image& image);

// Writes the file; false when the image is empty or the file cannot be written.
bool writePng(const std::string& path, const Image& image);

}  // namespace testhost

#pragma once
// PNG files of an Image: 8-bit RGB, no interlacing, the picture data in uncompressed deflate
// blocks. Any PNG reader opens them; they are only larger than compressed ones.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/testhost/image.h"

namespace testhost {

std::vector<uint8_t> encodePng(const Image& image);

// Writes the file; false when the image is empty or the file cannot be written.
bool writePng(const std::string& path, const Image& image);

}  // namespace testhost

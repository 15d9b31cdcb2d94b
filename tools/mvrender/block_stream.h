#pragma once
// The wire of the DLL route between the native program and its Windows side, the small host
// mvdllhost.exe under Wine: raw binary over the host's standard input and output, in the byte
// order of both ends (x86). The native program keeps the files; the host keeps the DLL.
//
//   host to native, once the effect is open and set:  a StreamGreeting
//   native to host, per chunk:  int32 frames (1 to chunkFrames(block size)), then that many
//                               speech samples, then as many carrier samples (32-bit floats)
//   host to native, per chunk:  the outputs, greeting.outputChannels times `frames` samples,
//                               one channel after the other
//   native to host, at the end: int32 0; the host then suspends and closes the effect and
//                               exits with 0
//
// The host says what went wrong on its standard error, which the native program shares, and
// exits with 1; it exits without a word when its input ends before the 0.

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr uint32_t kStreamMagic = 0x3153564D;  // "MVS1"

struct StreamGreeting {
  uint32_t magic = kStreamMagic;
  int32_t inputs = 0;          // the effect's inputs, as it declares them
  int32_t outputChannels = 0;  // channels per chunk sent back: 1 or 2
};

// Reads or writes all of `bytes`; false at the end of the stream or on an error.
inline bool readFully(std::FILE* in, void* data, size_t bytes) {
  return bytes == 0 || std::fread(data, 1, bytes, in) == bytes;
}
inline bool writeFully(std::FILE* out, const void* data, size_t bytes) {
  return bytes == 0 || std::fwrite(data, 1, bytes, out) == bytes;
}

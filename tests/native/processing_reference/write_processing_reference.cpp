// Renders the reference case natively, through the vocoder's core alone, and writes it
// (--write FILE) or holds it against the file (--check FILE). See
// tests/fixtures/reference_case.h.

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/channel_vocoder.h"
#include "tests/fixtures/reference_case.h"
#include "tests/fixtures/reference_comparison.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "--write") != 0 && std::strcmp(argv[1], "--check") != 0)) {
    std::fprintf(stderr, "usage: write_processing_reference --write|--check FILE\n");
    return 2;
  }
  ChannelVocoder vocoder;
  bool outputsDiffer = false;
  const std::vector<float> rendering = reference_case::render(
      [&](float** inputs, float** outputs, int n) {
        vocoder.process(inputs[0], inputs[1], outputs[0], outputs[1], n);
      },
      [&](int32_t index, float value) { vocoder.setParameter(index, value); }, outputsDiffer);
  if (outputsDiffer) {
    std::printf("FAIL: the two outputs differ\n");
    return 1;
  }

  if (std::strcmp(argv[1], "--write") == 0) {
    if (!reference_case::writeFile(argv[2], rendering)) {
      std::printf("FAIL: cannot write %s\n", argv[2]);
      return 1;
    }
    std::printf("wrote %zu samples to %s\n", rendering.size(), argv[2]);
    return 0;
  }

  std::vector<float> reference;
  if (!reference_case::readFile(argv[2], reference)) {
    std::printf("FAIL: cannot read %s\n", argv[2]);
    return 1;
  }
  const reference_case::Agreement a = reference_case::compare(reference, rendering);
  if (!a.sameLength) {
    std::printf("FAIL: %zu samples in the file, %zu rendered\n", reference.size(),
                rendering.size());
    return 1;
  }
  std::printf("%zu of %zu samples identical, error %.1f dB (bound %.0f dB)\n", a.identical,
              rendering.size(), a.decibels, reference_case::kBoundDecibels);
  if (a.decibels > reference_case::kBoundDecibels) {
    std::printf(
        "FAIL: the native build no longer renders the committed reference; if the sound "
        "was changed on purpose, rewrite it with --write\n");
    return 1;
  }
  return 0;
}

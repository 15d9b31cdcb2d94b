#include "tools/mvrender/render_loop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <new>

namespace {

constexpr int32_t kChunkTarget = 8192;

}  // namespace

int32_t chunkFrames(int32_t blockSize) {
  return blockSize >= kChunkTarget ? blockSize : blockSize * (kChunkTarget / blockSize);
}

bool renderSignal(RenderSource& source, BlockProcessor& processor, RenderSink& sink,
                  int32_t blockSize, RenderProgress* progress, RenderSummary& summary,
                  std::string& error) {
  const int32_t outChannels = processor.outputChannels();
  if (blockSize < 1 || outChannels < 1 || outChannels > 2) {
    error = "bad render settings";
    return false;
  }
  const int32_t chunk = chunkFrames(blockSize);
  const size_t chunkSize = static_cast<size_t>(chunk);
  // Chunks of long blocks can be large: a refusal, not a crash.
  std::unique_ptr<float[]> memory(new (std::nothrow) float[chunkSize * 4]);
  if (!memory) {
    error = "not enough memory for blocks of " + std::to_string(blockSize) + " frames";
    return false;
  }
  float* speech = memory.get();
  float* carrier = speech + chunkSize;
  float* outputs[2] = {speech + 2 * chunkSize, speech + 3 * chunkSize};

  const auto started = std::chrono::steady_clock::now();
  const int64_t total = source.frames();
  float peak = 0.0f;
  bool ok = true;
  for (int64_t done = 0; ok && done < total;) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(chunk, total - done));
    ok = source.read(speech, carrier, n, error) &&
         processor.process(speech, carrier, outputs, n, error);
    if (!ok) break;
    for (int32_t c = 0; c < outChannels; ++c)
      for (int32_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(outputs[c][i]));
    ok = sink.write(outputs, n, error);
    done += n;
    if (ok && progress != nullptr) {
      progress->progress(done, total);
      if (done < total && progress->cancelled()) {
        error = "interrupted";
        ok = false;
      }
    }
  }
  ok = ok && processor.finish(error);
  summary.frames = total;
  summary.peak = peak;
  summary.elapsedSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return ok;
}

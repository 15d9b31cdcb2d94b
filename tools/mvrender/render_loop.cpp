#include "tools/mvrender/render_loop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

int32_t outputChannelsFor(const AEffect* effect, bool mono) {
  if (effect->numOutputs < 1) return 0;
  return mono ? 1 : std::min(effect->numOutputs, 2);
}

bool checkEffectChannels(const AEffect* effect, std::string& error) {
  if (effect->numInputs < 0 || effect->numInputs > kMaxEffectChannels ||
      effect->numOutputs < 0 || effect->numOutputs > kMaxEffectChannels) {
    error = "the effect declares " + std::to_string(effect->numInputs) + " inputs and " +
            std::to_string(effect->numOutputs) + " outputs, which no host can serve";
    return false;
  }
  if (effect->numOutputs == 0) {
    error = "the effect has no outputs: there is nothing to record";
    return false;
  }
  if (effect->processReplacing == nullptr && effect->process == nullptr) {
    error = "the effect has no processing entry";
    return false;
  }
  return true;
}

bool renderEffect(AEffect* effect, RenderSource& source, RenderSink& sink,
                  const RenderSettings& settings, RenderProgress* progress, RenderSummary& summary,
                  std::string& error) {
  if (!checkEffectChannels(effect, error)) return false;
  const int32_t block = settings.blockSize;
  const int32_t outChannels = settings.outputChannels;
  if (block < 1 || outChannels < 1 || outChannels > 2 || outChannels > effect->numOutputs) {
    error = "bad render settings";
    return false;
  }
  const bool replacing =
      (effect->flags & effFlagsCanReplacing) != 0 && effect->processReplacing != nullptr;
  const AEffectProcessProc processBlock = replacing ? effect->processReplacing : effect->process;
  if (processBlock == nullptr) {
    error = "the effect has no processing entry";
    return false;
  }

  // At least two of each, so that an effect that touches its second channel regardless of
  // what it declares still writes into memory of ours.
  const int32_t numIn = std::max(effect->numInputs, 2);
  const int32_t numOut = std::max(effect->numOutputs, 2);
  const size_t blockSize = static_cast<size_t>(block);
  std::vector<float> speech(blockSize), carrier(blockSize);
  const size_t inputCount = blockSize * numIn;
  const size_t outputCount = blockSize * numOut;
  // The channel buffers can be large (many channels of a long block): a refusal, not a crash.
  std::unique_ptr<float[]> inputMemory(new (std::nothrow) float[inputCount]);
  std::unique_ptr<float[]> outputMemory(new (std::nothrow) float[outputCount]);
  if (!inputMemory || !outputMemory) {
    error = "not enough memory for blocks of " + std::to_string(block) + " frames";
    return false;
  }
  std::vector<float*> inputs(numIn), outputs(numOut);
  for (int32_t c = 0; c < numIn; ++c) inputs[c] = inputMemory.get() + blockSize * c;
  for (int32_t c = 0; c < numOut; ++c) outputs[c] = outputMemory.get() + blockSize * c;

  const auto started = std::chrono::steady_clock::now();
  effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, settings.sampleRate);
  effect->dispatcher(effect, effSetBlockSize, 0, block, nullptr, 0.0f);
  effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

  const int64_t total = source.frames();
  float peak = 0.0f;
  bool ok = true;
  for (int64_t done = 0; done < total;) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(block, total - done));
    const size_t bytes = sizeof(float) * static_cast<size_t>(n);
    if (!source.read(speech.data(), carrier.data(), n, error)) {
      ok = false;
      break;
    }
    std::fill(inputMemory.get(), inputMemory.get() + inputCount, 0.0f);
    std::fill(outputMemory.get(), outputMemory.get() + outputCount, 0.0f);
    if (effect->numInputs >= 1) std::memcpy(inputs[0], speech.data(), bytes);
    if (effect->numInputs >= 2) std::memcpy(inputs[1], carrier.data(), bytes);
    processBlock(effect, inputs.data(), outputs.data(), n);
    for (int32_t c = 0; c < outChannels; ++c)
      for (int32_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(outputs[c][i]));
    if (!sink.write(outputs.data(), n, error)) {
      ok = false;
      break;
    }
    done += n;
    if (progress != nullptr) {
      progress->progress(done, total);
      if (done < total && progress->cancelled()) {
        error = "interrupted";
        ok = false;
        break;
      }
    }
  }

  effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
  summary.frames = total;
  summary.sampleRate = settings.sampleRate;
  summary.peak = peak;
  summary.elapsedSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return ok;
}

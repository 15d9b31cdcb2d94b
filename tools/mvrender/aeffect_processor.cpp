#include "tools/mvrender/aeffect_processor.h"

#include <algorithm>
#include <cstring>
#include <new>

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

AEffectProcessor::AEffectProcessor(AEffect* effect, int32_t blockSize, float sampleRate,
                                   int32_t outputChannels)
    : effect_(effect),
      blockSize_(blockSize),
      sampleRate_(sampleRate),
      outputChannels_(outputChannels) {}

AEffectProcessor::~AEffectProcessor() {
  std::string ignored;
  finish(ignored);
}

bool AEffectProcessor::start(std::string& error) {
  if (!checkEffectChannels(effect_, error)) return false;
  if (blockSize_ < 1 || outputChannels_ < 1 || outputChannels_ > 2 ||
      outputChannels_ > effect_->numOutputs) {
    error = "bad render settings";
    return false;
  }
  const bool replacing =
      (effect_->flags & effFlagsCanReplacing) != 0 && effect_->processReplacing != nullptr;
  processBlock_ = replacing ? effect_->processReplacing : effect_->process;

  // At least two of each, so that an effect that touches its second channel regardless of
  // what it declares still writes into memory of ours.
  const int32_t numIn = std::max(effect_->numInputs, 2);
  const int32_t numOut = std::max(effect_->numOutputs, 2);
  const size_t block = static_cast<size_t>(blockSize_);
  inputCount_ = block * numIn;
  outputCount_ = block * numOut;
  // The channel buffers can be large (many channels of a long block): a refusal, not a crash.
  inputMemory_.reset(new (std::nothrow) float[inputCount_]);
  outputMemory_.reset(new (std::nothrow) float[outputCount_]);
  if (!inputMemory_ || !outputMemory_) {
    error = "not enough memory for blocks of " + std::to_string(blockSize_) + " frames";
    return false;
  }
  inputs_.resize(numIn);
  outputs_.resize(numOut);
  for (int32_t c = 0; c < numIn; ++c) inputs_[c] = inputMemory_.get() + block * c;
  for (int32_t c = 0; c < numOut; ++c) outputs_[c] = outputMemory_.get() + block * c;

  effect_->dispatcher(effect_, effSetSampleRate, 0, 0, nullptr, sampleRate_);
  effect_->dispatcher(effect_, effSetBlockSize, 0, blockSize_, nullptr, 0.0f);
  effect_->dispatcher(effect_, effMainsChanged, 0, 1, nullptr, 0.0f);
  resumed_ = true;
  return true;
}

bool AEffectProcessor::process(const float* speech, const float* carrier, float* const* outputs,
                               int32_t frames, std::string& error) {
  if (!resumed_) {
    error = "the effect is not running";
    return false;
  }
  for (int32_t done = 0; done < frames;) {
    const int32_t n = std::min(blockSize_, frames - done);
    const size_t bytes = sizeof(float) * static_cast<size_t>(n);
    std::fill(inputMemory_.get(), inputMemory_.get() + inputCount_, 0.0f);
    std::fill(outputMemory_.get(), outputMemory_.get() + outputCount_, 0.0f);
    if (effect_->numInputs >= 1) std::memcpy(inputs_[0], speech + done, bytes);
    if (effect_->numInputs >= 2) std::memcpy(inputs_[1], carrier + done, bytes);
    processBlock_(effect_, inputs_.data(), outputs_.data(), n);
    for (int32_t c = 0; c < outputChannels_; ++c) std::memcpy(outputs[c] + done, outputs_[c], bytes);
    done += n;
  }
  return true;
}

bool AEffectProcessor::finish(std::string&) {
  if (resumed_) effect_->dispatcher(effect_, effMainsChanged, 0, 0, nullptr, 0.0f);
  resumed_ = false;
  return true;
}

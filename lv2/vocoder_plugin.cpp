#include "lv2/vocoder_plugin.h"

#include <algorithm>

namespace {

// A port's value as the parameter takes it. The range is 0 to 1: a value beyond an end counts
// as that end, and one that is not a number as 0. A toggled port is off at 0 or below and on
// above, which the switches get as exactly 0.0 or 1.0, the two values they act on.
float parameterValue(int32_t index, float portValue) {
  if (kParameterTable[index].kind == ParameterKind::kSwitch) return portValue > 0.0f ? 1.0f : 0.0f;
  return clampToUnit(portValue);
}

}  // namespace

VocoderPlugin::VocoderPlugin(float rate)
    : inputs(),
      outputs(),
      controls(),
      vocoder(rate),
      silence(),
      discard() {}

void VocoderPlugin::connect(uint32_t port, void* data) {
  if (port < kOutput1) {
    inputs[port - kInput1] = static_cast<const float*>(data);
  } else if (port < kFirstControlPort) {
    outputs[port - kOutput1] = static_cast<float*>(data);
  } else if (port < kNumPorts) {
    controls[port - kFirstControlPort] = static_cast<const float*>(data);
  }
}

void VocoderPlugin::activate() { vocoder.reset(); }

void VocoderPlugin::applyControls() {
  for (int32_t index = 0; index < kNumParams; ++index) {
    if (controls[index] != nullptr)
      vocoder.setParameter(index, parameterValue(index, *controls[index]));
  }
}

// The core reads its inputs of a slice before it writes that slice's outputs, so in-place
// buffers are fine. Running slice by slice here changes nothing in the samples: the core cuts
// a long call into the same slices itself.
void VocoderPlugin::run(uint32_t frames) {
  applyControls();
  for (uint32_t done = 0; done < frames;) {
    const int32_t n = static_cast<int32_t>(std::min<uint32_t>(frames - done, kSliceLength));
    const float* in1 = inputs[0] != nullptr ? inputs[0] + done : silence;
    const float* in2 = inputs[1] != nullptr ? inputs[1] + done : silence;
    float* out1 = outputs[0] != nullptr ? outputs[0] + done : discard;
    float* out2 = outputs[1] != nullptr ? outputs[1] + done : discard;
    vocoder.processKeepingInputs(in1, in2, out1, out2, n);
    done += static_cast<uint32_t>(n);
  }
}

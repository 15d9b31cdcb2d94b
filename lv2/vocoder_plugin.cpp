#include "lv2/vocoder_plugin.h"

#include <algorithm>

#include "lv2/port_value.h"

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

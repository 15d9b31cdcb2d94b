#pragma once
// One instance of the LV2 plug-in: the vocoder's core, tuned for the host's sample rate, and the
// buffers the host connected to the ports (ports.h).
//
// The host's calls, and the threads they come from: the constructor runs on the host's
// instantiation thread and derives every coefficient with the mathematics library; `activate`
// runs there too, `connect` and `run` on the audio thread, and none of these three allocates,
// takes a lock or makes a system call. The plug-in starts no threads and the host never calls
// two of these at once, so nothing here is shared between threads.

#include <cstdint>

#include "engine/channel_vocoder.h"
#include "lv2/ports.h"

class VocoderPlugin {
 public:
  // `sampleRate` must be supported (isSupportedSampleRate); the instantiation checks it.
  explicit VocoderPlugin(float sampleRate);

  VocoderPlugin(const VocoderPlugin&) = delete;
  VocoderPlugin& operator=(const VocoderPlugin&) = delete;

  // Stores where a port's data lives. An index outside the port list changes nothing; null
  // leaves the port unconnected, so the old buffer is never touched again.
  void connect(uint32_t port, void* data);

  // Starts the sound afresh (ChannelVocoder::reset): band, envelope and gate states cleared, the
  // gate in its first on phase. Connections and the controls' values are kept.
  void activate();

  // Vocodes `frames` samples. Every connected control port is read first; an unconnected one
  // keeps its last value (at first its default). An unconnected input reads as silence, an
  // unconnected output is not written. Outputs may be the input buffers (processing in place).
  void run(uint32_t frames);

 private:
  void applyControls();

  const float* inputs[2];
  float* outputs[2];
  const float* controls[kNumParams];
  ChannelVocoder vocoder;
  // What an unconnected input reads and an unconnected output is written to, one slice long.
  float silence[kSliceLength];
  float discard[kSliceLength];
};

#include "tools/mvrender/render_command.h"

#include <cstdio>
#include <vector>

#include "tools/mvrender/effect_settings.h"
#include "tools/mvrender/progress_text.h"
#include "tools/mvrender/render_inputs.h"
#include "tools/mvrender/wav_writer.h"

namespace {

// The effect's outputs into the WAV writer.
class WriterSink : public RenderSink {
 public:
  explicit WriterSink(WavWriter& writer) : writer_(writer) {}
  bool write(const float* const* channels, int32_t frames, std::string& error) override {
    return writer_.write(channels, frames, error);
  }

 private:
  WavWriter& writer_;
};

std::string pitchText(double hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f Hz", hz);
  return text;
}

}  // namespace

bool runRender(AEffect* effect, const CommandLine& options, RenderConsole& console,
               RenderResult& result, std::string& error) {
  if (!checkEffectChannels(effect, error)) return false;

  // Everything is checked before anything is said about the render, so that a refusal is the
  // one line of its reason.
  FileRenderSource source;
  std::vector<std::string> notes;
  bool opened = false;
  if (!options.inputPath.empty()) {
    opened = source.openStereo(options.inputPath, error);
  } else if (!options.carrierPath.empty()) {
    opened = source.openFiles(options.speechPath, options.carrierPath, error);
  } else {
    opened = source.openWithGenerator(options.speechPath, options.carrierWave, options.pitchHz, error);
    notes.push_back(std::string("carrier: built-in ") + carrierWaveName(options.carrierWave) +
                    " at " + pitchText(options.pitchHz));
  }
  if (!opened) return false;

  const uint32_t rate = source.sampleRate();
  if (rate != kEffectSampleRate) {
    if (!options.forceRate) {
      error = "the input is " + std::to_string(rate) +
              " Hz, but the plug-in's tuning is fixed at 44100 Hz: resample it (e.g. sox IN.wav "
              "-r 44100 OUT.wav) or give --force-rate to process it anyway";
      return false;
    }
    notes.push_back("processing at " + std::to_string(rate) +
                    " Hz as asked: bands and times are tuned for 44100 Hz and shift accordingly");
  }
  notes.insert(notes.end(), source.notes().begin(), source.notes().end());
  if (effect->numInputs == 1) notes.push_back("the effect has one input: it gets the speech only");

  if (!applyEffectSettings(effect, options, error)) return false;

  WavFormat format;
  format.channels = outputChannelsFor(effect, options.mono);
  format.sampleRate = rate;
  format.encoding = options.outputEncoding;
  WavWriter writer;
  if (!writer.open(options.outputPath, format, error)) return false;
  for (const std::string& note : notes) console.note(note);

  RenderSettings settings;
  settings.blockSize = options.blockSize;
  settings.sampleRate = static_cast<float>(rate);
  settings.outputChannels = format.channels;
  WriterSink sink(writer);
  if (!renderEffect(effect, source, sink, settings, console.progress(), result.summary, error))
    return false;  // the writer removes its temporary file
  if (!writer.finish(error)) return false;

  result.clippedSamples = writer.clippedSamples();
  if (result.clippedSamples > 0)
    console.note("warning: " + std::to_string(result.clippedSamples) +
                 " samples beyond full scale were clipped; lower the gain or write --bits 32f");
  result.summaryLine = formatSummary(options.outputPath, result.summary);
  return true;
}

#include "tools/mvrender/render_command.h"

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "tools/mvrender/dll_processor.h"
#include "tools/mvrender/lv2_processor.h"
#include "tools/mvrender/progress_text.h"
#include "tools/mvrender/render_inputs.h"
#include "tools/mvrender/sound_file_writer.h"

namespace {

// The effect's outputs into the file.
class WriterSink : public RenderSink {
 public:
  explicit WriterSink(SoundFileWriter& writer) : writer_(writer) {}
  bool write(const float* const* channels, int32_t frames, std::string& error) override {
    return writer_.write(channels, frames, error);
  }

 private:
  SoundFileWriter& writer_;
};

std::string pitchText(double hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f Hz", hz);
  return text;
}

// The DLL takes the rate as the host gives it, but its tuning stays at 44100 Hz.
bool checkDllRate(uint32_t rate, bool forced, std::vector<std::string>& notes, std::string& error) {
  if (rate == kDllSampleRate) return true;
  if (!forced) {
    error = "the input is " + std::to_string(rate) +
            " Hz, but the DLL's tuning is fixed at 44100 Hz: resample it (e.g. sox IN.wav -r "
            "44100 OUT.wav), render it natively without --dll, or give --force-rate to process "
            "it anyway";
    return false;
  }
  notes.push_back("processing at " + std::to_string(rate) +
                  " Hz as asked: bands and times are tuned for 44100 Hz and shift accordingly");
  return true;
}

// The effect on the route the options name.
std::unique_ptr<BlockProcessor> openProcessor(const CommandLine& options,
                                              const PluginLocations& where, uint32_t rate,
                                              std::vector<std::string>& notes, std::string& error) {
  if (options.dllPath.empty()) {
    std::unique_ptr<Lv2Processor> lv2(new (std::nothrow) Lv2Processor);
    if (lv2 && lv2->open(where.lv2Bundle, options, rate, error)) return lv2;
    return nullptr;
  }
  if (!checkDllRate(rate, options.forceRate, notes, error)) return nullptr;
  std::unique_ptr<DllProcessor> dll(new (std::nothrow) DllProcessor);
  if (!dll || !dll->open(where, options, rate, error)) return nullptr;
  if (dll->inputs() == 1) notes.push_back("the effect has one input: it gets the speech only");
  return dll;
}

}  // namespace

bool runRender(const CommandLine& options, const PluginLocations& where, RenderConsole& console,
               RenderResult& result, std::string& error) {
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
  notes.insert(notes.end(), source.notes().begin(), source.notes().end());

  const uint32_t rate = source.sampleRate();
  std::unique_ptr<BlockProcessor> processor = openProcessor(options, where, rate, notes, error);
  if (!processor) return false;

  OutputFormat format;
  format.type = options.fileType;
  format.samples = options.sampleFormat;
  format.channels = processor->outputChannels();
  format.sampleRate = rate;
  SoundFileWriter writer;
  if (!writer.open(options.outputPath, format, error)) return false;
  for (const std::string& note : notes) console.note(note);

  WriterSink sink(writer);
  result.summary.sampleRate = rate;
  if (!renderSignal(source, *processor, sink, options.blockSize, console.progress(),
                    result.summary, error))
    return false;  // the writer removes its temporary file
  if (!writer.finish(error)) return false;

  result.clippedSamples = writer.clippedSamples();
  if (result.clippedSamples > 0)
    console.note("warning: " + std::to_string(result.clippedSamples) +
                 " samples beyond full scale were clipped; lower the gain or write --bits 32f");
  result.summaryLine = formatSummary(options.outputPath, result.summary);
  return true;
}

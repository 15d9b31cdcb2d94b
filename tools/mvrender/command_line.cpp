#include "tools/mvrender/command_line.h"

#include <cctype>
#include <cstdlib>

#include "tools/mvrender/parameter_names.h"
#include "tools/mvrender/pitch.h"

namespace {

enum CommandMask : unsigned { kRender = 1, kInfo = 2, kScreenshot = 4, kStream = 8, kAll = 15 };

enum class Option {
  kDll, kSpeech, kCarrier, kInput, kOutput, kProgram, kParam, kBlockSize, kBits, kFormat,
  kCarrierWave, kPitch, kForceRate, kMono, kProgress, kNoProgress, kRate, kHelp,
};

struct OptionInfo {
  const char* name;
  Option option;
  bool takesValue;
  unsigned commands;
};

constexpr OptionInfo kOptions[] = {
    {"--dll", Option::kDll, true, kAll},
    {"--speech", Option::kSpeech, true, kRender},
    {"--carrier", Option::kCarrier, true, kRender},
    {"--input", Option::kInput, true, kRender},
    {"--output", Option::kOutput, true, kRender | kScreenshot},
    {"--program", Option::kProgram, true, kRender | kScreenshot | kStream},
    {"--param", Option::kParam, true, kRender | kScreenshot | kStream},
    {"--block-size", Option::kBlockSize, true, kRender | kStream},
    {"--bits", Option::kBits, true, kRender},
    {"--format", Option::kFormat, true, kRender},
    {"--carrier-wave", Option::kCarrierWave, true, kRender},
    {"--pitch", Option::kPitch, true, kRender},
    {"--force-rate", Option::kForceRate, false, kRender},
    {"--mono", Option::kMono, false, kRender | kStream},
    {"--progress", Option::kProgress, false, kRender},
    {"--no-progress", Option::kNoProgress, false, kRender},
    {"--rate", Option::kRate, true, kStream},
    {"--help", Option::kHelp, false, kAll},
    {"-h", Option::kHelp, false, kAll},
};

struct CommandInfo {
  const char* name;
  Command command;
  unsigned mask;
};

constexpr CommandInfo kCommands[] = {
    {"render", Command::kRender, kRender},
    {"info", Command::kInfo, kInfo},
    {"screenshot", Command::kScreenshot, kScreenshot},
    {"stream", Command::kStream, kStream},
};

constexpr long kHighestRate = 10000000;

// A whole decimal number from `low` to `high`.
bool parseInteger(const std::string& text, long low, long high, int32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || number < low || number > high) return false;
  value = static_cast<int32_t>(number);
  return true;
}

bool parseBits(const std::string& text, SampleFormat& format) {
  if (text == "16") {
    format = SampleFormat::kPcm16;
  } else if (text == "24") {
    format = SampleFormat::kPcm24;
  } else if (text == "32f" || text == "32" || text == "float") {
    format = SampleFormat::kFloat32;
  } else {
    return false;
  }
  return true;
}

bool parseFileType(const std::string& text, FileType& type) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "wav" || lower == "wave") {
    type = FileType::kWav;
  } else if (lower == "flac") {
    type = FileType::kFlac;
  } else {
    return false;
  }
  return true;
}

// The output's type from the extension of its name.
bool fileTypeOfName(const std::string& path, FileType& type) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return parseFileType(path.substr(dot + 1), type);
}

bool setOnce(std::string& field, const std::string& value, const char* name, std::string& error) {
  if (!field.empty()) {
    error = std::string(name) + " is given twice";
    return false;
  }
  if (value.empty()) {
    error = std::string(name) + " needs a file name";
    return false;
  }
  field = value;
  return true;
}

bool applyOption(Option option, const char* name, const std::string& value, CommandLine& r,
                 std::string& error) {
  switch (option) {
    case Option::kDll: return setOnce(r.dllPath, value, name, error);
    case Option::kSpeech: return setOnce(r.speechPath, value, name, error);
    case Option::kCarrier: return setOnce(r.carrierPath, value, name, error);
    case Option::kInput: return setOnce(r.inputPath, value, name, error);
    case Option::kOutput: return setOnce(r.outputPath, value, name, error);
    case Option::kProgram:
      if (!parseInteger(value, 0, 0x7FFFFFFF, r.program)) {
        error = "bad --program '" + value + "': give a program number (0 is the first)";
        return false;
      }
      return true;
    case Option::kParam: {
      const size_t eq = value.rfind('=');
      if (eq == std::string::npos || eq == 0) {
        error = "bad --param '" + value + "': write NAME=VALUE or INDEX=VALUE, e.g. --param gain=0.5";
        return false;
      }
      ParameterSetting setting;
      setting.name = value.substr(0, eq);
      if (!parseParameterValue(value.substr(eq + 1), setting.value, error)) return false;
      r.parameters.push_back(setting);
      return true;
    }
    case Option::kBlockSize:
      if (!parseInteger(value, 1, kMaxBlockSize, r.blockSize)) {
        error = "bad --block-size '" + value + "': give a number of frames from 1 to " +
                std::to_string(kMaxBlockSize);
        return false;
      }
      return true;
    case Option::kBits:
      if (!parseBits(value, r.sampleFormat)) {
        error = "bad --bits '" + value + "': give 16, 24 or 32f";
        return false;
      }
      return true;
    case Option::kFormat:
      if (!parseFileType(value, r.fileType)) {
        error = "bad --format '" + value + "': give wav or flac";
        return false;
      }
      return true;
    case Option::kRate: {
      int32_t rate = 0;
      if (!parseInteger(value, 1, kHighestRate, rate)) {
        error = "bad --rate '" + value + "'";
        return false;
      }
      r.sampleRate = static_cast<uint32_t>(rate);
      return true;
    }
    case Option::kCarrierWave:
      if (!parseCarrierWave(value, r.carrierWave)) {
        error = "bad --carrier-wave '" + value + "': give saw, chord (a major triad) or minor";
        return false;
      }
      return true;
    case Option::kPitch: return parsePitch(value, r.pitchHz, error);
    case Option::kForceRate: r.forceRate = true; return true;
    case Option::kMono: r.mono = true; return true;
    case Option::kProgress: r.progress = ProgressMode::kAlways; return true;
    case Option::kNoProgress: r.progress = ProgressMode::kNever; return true;
    case Option::kHelp: r.command = Command::kHelp; return true;
  }
  return false;
}

// The checks that need all options: which inputs go together, and what the output can hold.
bool checkRender(CommandLine& r, bool carrierOptions, bool formatGiven, std::string& error) {
  if (!r.inputPath.empty() && (!r.speechPath.empty() || !r.carrierPath.empty())) {
    error = "--input (one stereo file) cannot be combined with --speech or --carrier";
    return false;
  }
  if (r.inputPath.empty() && r.speechPath.empty()) {
    error = r.carrierPath.empty()
                ? "no input: give --speech FILE (with --carrier FILE or the built-in carrier) or "
                  "--input STEREO.wav"
                : "--carrier needs --speech: the carrier is what the speech shapes";
    return false;
  }
  if (carrierOptions && (!r.carrierPath.empty() || !r.inputPath.empty())) {
    error = "--carrier-wave and --pitch set the built-in carrier; they cannot be combined with " +
            std::string(r.inputPath.empty() ? "--carrier" : "--input");
    return false;
  }
  if (r.outputPath.empty()) {
    error = "no output: give --output FILE.wav";
    return false;
  }
  if (!formatGiven && !fileTypeOfName(r.outputPath, r.fileType)) {
    error = "cannot tell the output's format from its name '" + r.outputPath +
            "': end it in .wav or .flac, or give --format wav or flac";
    return false;
  }
  if (r.fileType == FileType::kFlac && !isInteger(r.sampleFormat)) {
    error = "FLAC holds 16 or 24-bit samples, not floats: give --bits 16 or 24, or write WAV";
    return false;
  }
  if (r.forceRate && r.dllPath.empty()) {
    error = "--force-rate is for the DLL route (--dll): the LV2 plug-in is tuned for the file's "
            "own rate";
    return false;
  }
  return true;
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& args, CommandLine& result, std::string& error) {
  result = CommandLine();
  if (args.empty()) {
    error = "no command: try 'help'";
    return false;
  }
  const std::string& first = args[0];
  if (first == "help" || first == "--help" || first == "-h") return true;
  const CommandInfo* command = nullptr;
  for (const CommandInfo& c : kCommands)
    if (first == c.name) command = &c;
  if (command == nullptr) {
    error = "unknown command '" + first + "': give render, info, screenshot or help";
    return false;
  }
  result.command = command->command;

  bool carrierOptions = false;
  bool formatGiven = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const size_t eq = arg.find('=');
    const std::string name = arg.compare(0, 2, "--") == 0 ? arg.substr(0, eq) : arg;
    const OptionInfo* info = nullptr;
    for (const OptionInfo& o : kOptions)
      if (name == o.name) info = &o;
    if (info == nullptr) {
      error = arg.size() > 1 && arg[0] == '-'
                  ? "unknown option '" + name + "' for " + first + ": try '" + first + " --help'"
                  : "unexpected argument '" + arg + "': files are given with options such as --speech";
      return false;
    }
    if ((info->commands & command->mask) == 0) {
      error = std::string(info->name) + " is not an option of " + first;
      return false;
    }
    std::string value;
    if (info->takesValue) {
      if (eq != std::string::npos && name != arg) {
        value = arg.substr(eq + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        error = std::string(info->name) + " needs a value";
        return false;
      }
    } else if (name != arg) {
      error = std::string(info->name) + " takes no value";
      return false;
    }
    if (!applyOption(info->option, info->name, value, result, error)) return false;
    if (result.command == Command::kHelp) return true;
    carrierOptions = carrierOptions || info->option == Option::kCarrierWave ||
                     info->option == Option::kPitch;
    formatGiven = formatGiven || info->option == Option::kFormat;
  }

  if (result.command == Command::kRender)
    return checkRender(result, carrierOptions, formatGiven, error);
  if (result.command == Command::kStream && result.sampleRate == 0) {
    error = "no --rate: the stream needs the signal's sample rate";
    return false;
  }
  if (result.command == Command::kScreenshot && result.outputPath.empty()) {
    error = "no output: give --output FILE.png";
    return false;
  }
  return true;
}

const char* usageText() {
  return R"(Usage: mulchvoice COMMAND [OPTIONS]

Vocodes audio files with Mulchvoice, offline: natively through its LV2 plug-in, tuned
for each file's own rate, or with --dll through a VST 1.0 effect DLL under Wine.

Commands:
  render       vocode a speech and a carrier and write the result as a WAV or FLAC file
  info         show what a host sees of the plug-in: ports or IDs, flags, parameters
               and programs
  screenshot   open a DLL's editor in a window under Wine and save it as a PNG picture
  help         show this text

render:
  mulchvoice render --speech VOICE.wav [--carrier SYNTH.wav] --output OUT.wav [OPTIONS]
  mulchvoice render --input STEREO.wav --output OUT.wav [OPTIONS]

  --speech FILE        the voice; a stereo file is mixed to mono. Any file libsndfile
                       reads: WAV, AIFF, FLAC, Ogg Vorbis and more
  --carrier FILE       the sound the voice shapes; a stereo file is mixed to mono.
                       Without it a built-in carrier is generated at the speech's length.
  --input FILE         one stereo file instead: left channel speech, right channel carrier
  --output FILE        the file to write, WAV or FLAC by its name (.wav, .flac); it
                       appears only once the render is complete
  --format TYPE        the output's type whatever its name: wav or flac
  --carrier-wave WAVE  built-in carrier: saw (default), chord (a major triad) or minor
  --pitch PITCH        built-in carrier's pitch: a note (A2, C#3, Bb1) or Hz (110);
                       default A2 (110 Hz)
  --program N          choose program N (from 0) before the parameters are set; the LV2
                       plug-in's two programs are both its controls' defaults
  --param NAME=VALUE   set a parameter, from 0 to 1 (on/off for the switches); repeatable.
                       NAME is an editor label: carrier, speech, filter, morph, freq, gain,
                       "switch C/S" (or switch-cs, swap), "mulch I/O" (or mulch-io, gate);
                       case, spaces and - _ / do not matter. Or a parameter index from 0.
  --block-size N       frames per processing call: any size from 1 (default 512)
  --bits B             output samples: 16, 24 (default) or 32f (32-bit float; WAV only)
  --mono               write only the effect's first output, as a mono file
                       (default: one channel per output, at most two)
  --progress           show a progress bar even when the output is not a terminal
  --no-progress        never show the progress bar

  Inputs of different lengths: the shorter one is padded with silence. Both must have
  the same rate: natively any from 22050 to 384000 Hz, the plug-in tuned for it.

The DLL route:
  --dll FILE           render (or show, or picture) the VST 1.0 effect in FILE under Wine,
                       32 or 64-bit, instead of the LV2 plug-in; e.g.
                       --dll build/win32/MULCHVOICE.dll. Its tuning is its own: Mulchvoice's
                       DLL takes only files at 44100 Hz, unless
  --force-rate         processes a file at another rate anyway: every band and time shifts

info:
  mulchvoice info [--dll FILE]

screenshot:
  mulchvoice screenshot --output EDITOR.png [--dll FILE] [--program N] [--param NAME=VALUE ...]
  (default: the 32-bit MULCHVOICE.dll)

Options take their value as the next argument or after '=' (--bits=16).
)";
}

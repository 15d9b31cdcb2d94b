#pragma once
// The command line of the offline host: `render`, `info`, `screenshot` and `help`, parsed into
// one record or refused with a one-line message. Pure logic: nothing is opened here.
//
// `stream` is no user's command: the native program gives it to its Windows side, the host of the
// DLL route under Wine, with the settings of a render (tools/mvrender/block_stream.h).

#include <cstdint>
#include <string>
#include <vector>

#include "tools/mvrender/carrier_generator.h"
#include "tools/mvrender/output_format.h"

enum class Command { kHelp, kRender, kInfo, kScreenshot, kStream };
enum class ProgressMode { kAuto, kAlways, kNever };

struct ParameterSetting {
  std::string name;  // a name or an index, resolved once the effect is loaded
  float value = 0.0f;
};

struct CommandLine {
  Command command = Command::kHelp;
  std::string dllPath;  // the DLL route: a VST 1.0 effect under Wine; empty: the LV2 plug-in
  std::string speechPath;
  std::string carrierPath;
  std::string inputPath;  // one stereo file: left speech, right carrier
  std::string outputPath;
  int32_t program = -1;  // -1: leave the program as the effect starts
  std::vector<ParameterSetting> parameters;
  int32_t blockSize = 512;
  SampleFormat sampleFormat = SampleFormat::kPcm24;
  FileType fileType = FileType::kWav;  // from --format, or else from the output's name
  CarrierWave carrierWave = CarrierWave::kSaw;
  double pitchHz = 110.0;  // A2
  bool forceRate = false;  // the DLL route only
  uint32_t sampleRate = 0;  // `stream` only
  bool mono = false;
  ProgressMode progress = ProgressMode::kAuto;
};

constexpr int32_t kMaxBlockSize = 1 << 20;

// Parses the arguments after the program name. On failure `error` holds one line.
bool parseCommandLine(const std::vector<std::string>& args, CommandLine& result, std::string& error);

// The text `help` and `--help` print.
const char* usageText();

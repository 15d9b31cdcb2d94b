#pragma once
// The command line of the offline host: `render`, `info`, `screenshot` and `help`, parsed into
// one record or refused with a one-line message. Pure logic: nothing is opened here.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/mvrender/carrier_generator.h"
#include "tools/mvrender/wav_format.h"

enum class Command { kHelp, kRender, kInfo, kScreenshot };
enum class ProgressMode { kAuto, kAlways, kNever };

struct ParameterSetting {
  std::string name;  // a name or an index, resolved once the effect is loaded
  float value = 0.0f;
};

struct CommandLine {
  Command command = Command::kHelp;
  std::string dllPath;  // empty: the default effect
  std::string speechPath;
  std::string carrierPath;
  std::string inputPath;  // one stereo file: left speech, right carrier
  std::string outputPath;
  int32_t program = -1;  // -1: leave the program as the effect starts
  std::vector<ParameterSetting> parameters;
  int32_t blockSize = 512;
  SampleEncoding outputEncoding = SampleEncoding::kPcm24;
  CarrierWave carrierWave = CarrierWave::kSaw;
  double pitchHz = 110.0;  // A2
  bool forceRate = false;
  bool mono = false;
  ProgressMode progress = ProgressMode::kAuto;
};

constexpr int32_t kMaxBlockSize = 1 << 20;

// Parses the arguments after the program name. On failure `error` holds one line.
bool parseCommandLine(const std::vector<std::string>& args, CommandLine& result, std::string& error);

// The text `help` and `--help` print.
const char* usageText();

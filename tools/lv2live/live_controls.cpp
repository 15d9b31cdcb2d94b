// The controls of a live session (tools/lv2-live.sh) and the check of what it recorded:
//
//   lv2_live_controls length SECONDS            the session's length in seconds
//   lv2_live_controls play SECONDS GO_FILE      writes the session's control changes to the
//                                               standard output as jalv's console takes them
//                                               ("gain = 0.5"), once GO_FILE exists
//   lv2_live_controls check SECONDS RECORDING   holds the recording (output 1, and the input
//                                               as the plug-in got it) to the gains the
//                                               session set
//
// The session: a second of silence (gain 0), then cycles of three parts, until the controls have
// moved for SECONDS:
//
//   moving  2.5 s: first the next factory preset, by jalv's preset command; then every 20 ms
//           each of the eight controls takes a new random value, the switches 0 or 1; never a
//           value that silences the output for a tenth of a second (gain and filter stay above
//           0.05, freq above 0.1, so the gate is never off for more than 90 ms);
//   marker  0.5 s: the defaults, but with the widest bands, the gate off and the gain at 0:
//           silence;
//   probe   0.45 s: the same with the gain at the next of 0.16, 0.02, 0.08, 0.04.
//
// The check finds the probes by their sound, not by the clock: the host's clock runs behind the
// player's when the machine is busy and the server skips periods. Each silence of a tenth of a
// second or more that sound follows starts the moving controls (the first) or a probe (each
// other), and there must be one per cycle. The input is a periodic signal, and where the
// settings hold still so is the output, with the same level in every period: a probe's level is
// the level that most of its sounding periods share (within 0.1 dB), in its first 300 ms, and
// needs ten periods of it. On a busy machine the server skips periods, so that a probe may last
// less than its time in the recording, and lets pass periods in which the source of the input
// did not run, so that the input breaks off and the band filters ring for a while: neither
// upsets the periods that share a level. A probe with fewer than ten is left out, and at least
// half of the probes must be measured. The level over the gain must be the same for every probe
// measured, within 0.5 dB. Exit status 0 when all is well.

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/parameters.h"
#include "lv2/factory_presets.h"
#include "tools/mvrender/sound_file_reader.h"

namespace {

constexpr double kTick = 0.02;
constexpr double kLeadIn = 1.0;
constexpr double kMoving = 2.5;
constexpr double kMarker = 0.5;
constexpr double kProbe = 0.45;
constexpr double kCycle = kMoving + kMarker + kProbe;
// At the widest bands a sine at full gain comes out at several times its level: these keep
// the probes below full scale.
constexpr float kProbeGains[] = {0.16f, 0.02f, 0.08f, 0.04f};
constexpr int kNumProbeGains = sizeof kProbeGains / sizeof kProbeGains[0];

// The least a moving control takes where a lower value could silence the output.
constexpr float kLeastGain = 0.05f, kLeastFilter = 0.05f, kLeastFreq = 0.1f;

// Finding and measuring the probes: the silence before one lasts this long at least; its level
// is that of most of its whole periods of the input up to kMeasureTo after it starts, within
// kSteadyDb, and at least kFewestPeriods of them; kFewestProbes of all probes must be measured.
constexpr double kShortestSilence = 0.1;
constexpr double kMeasureTo = 0.3, kSteadyDb = 0.1;
constexpr size_t kFewestPeriods = 10;
constexpr double kFewestProbes = 0.5;
constexpr double kGainToleranceDb = 0.5;

int cycles(double seconds) { return std::max(1, static_cast<int>(std::ceil(seconds / kMoving))); }
double sessionLength(double seconds) { return kLeadIn + cycles(seconds) * kCycle; }
double probeStart(int cycle) { return kLeadIn + cycle * kCycle + kMoving + kMarker; }
float probeGain(int cycle) { return kProbeGains[cycle % kNumProbeGains]; }

// Writes the control changes at their times, counted from the first.
class Player {
 public:
  Player() { clock_gettime(CLOCK_MONOTONIC, &start_); }

  void at(double seconds) {
    timespec when = start_;
    const double whole = std::floor(seconds);
    when.tv_sec += static_cast<time_t>(whole);
    when.tv_nsec += static_cast<long>((seconds - whole) * 1e9);
    if (when.tv_nsec >= 1000000000L) {
      when.tv_nsec -= 1000000000L;
      ++when.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) != 0) {
    }
  }

  void set(int32_t parameter, float value) {
    std::printf("%s = %.6g\n", kParameterTable[parameter].symbol, static_cast<double>(value));
    ++changes;
  }

  // The defaults, with the widest bands, the gate off and the given gain.
  void steady(float gain) {
    for (const ParameterInfo& p : kParameterTable)
      set(p.index, p.index == kGain      ? gain
                   : p.index == kFilter  ? 1.0f
                   : p.index == kMulchIO ? 0.0f
                                         : p.defaultValue);
    std::fflush(stdout);
  }

  long changes = 0;

 private:
  timespec start_;
};

int play(double seconds, const std::string& goFile) {
  for (int waited = 0; access(goFile.c_str(), F_OK) != 0; ++waited) {
    if (waited == 6000) {
      std::fprintf(stderr, "controls: %s did not appear within a minute\n", goFile.c_str());
      return 1;
    }
    usleep(10000);
  }
  std::mt19937 random(20);
  const auto unit = [&random] { return static_cast<float>(random() / 4294967296.0); };
  Player player;
  player.steady(0.0f);
  const int ticks = static_cast<int>(std::lround(kMoving / kTick));
  long moving = 0;
  for (int cycle = 0; cycle < cycles(seconds); ++cycle) {
    player.at(kLeadIn + cycle * kCycle);
    std::printf("preset %s%s\n", kPresetUriPrefix, kFactoryPresets[cycle % kNumFactoryPresets].key);
    std::fflush(stdout);
    for (int tick = 1; tick < ticks; ++tick) {
      player.at(kLeadIn + cycle * kCycle + tick * kTick);
      for (const ParameterInfo& p : kParameterTable) {
        const float value = unit();
        const float least = p.index == kGain     ? kLeastGain
                            : p.index == kFilter ? kLeastFilter
                            : p.index == kFreq   ? kLeastFreq
                                                 : 0.0f;
        player.set(p.index, p.kind == ParameterKind::kSwitch ? std::round(value)
                                                             : least + (1.0f - least) * value);
        ++moving;
      }
      std::fflush(stdout);
    }
    player.at(probeStart(cycle) - kMarker);
    player.steady(0.0f);
    player.at(probeStart(cycle));
    player.set(kGain, probeGain(cycle));
    std::fflush(stdout);
  }
  player.at(sessionLength(seconds));
  const double movingSeconds = cycles(seconds) * kMoving;
  std::fprintf(stderr,
               "controls: %ld changes, %ld of them in %.1f s of moving controls (%.0f a second "
               "for each of the %d), and %d presets\n",
               player.changes, moving, movingSeconds, moving / movingSeconds / kNumParams,
               static_cast<int>(kNumParams), cycles(seconds));
  return 0;
}

// Reads a recording of two channels, output 1 and the input, a block at a time: a session of an
// hour is more than a gigabyte.
class Recording {
 public:
  bool open(const std::string& path) {
    std::string error;
    if (!reader_.open(path, error)) {
      std::fprintf(stderr, "check: %s\n", error.c_str());
      return false;
    }
    if (reader_.channels() != 2) {
      std::fprintf(stderr, "check: %s has %d channels, not an output and the input\n", path.c_str(),
                   static_cast<int>(reader_.channels()));
      return false;
    }
    return true;
  }
  double rate() const { return reader_.sampleRate(); }

  // The next block, or 0 frames at the end (or on an error, which it reports).
  int32_t next() {
    float* channels[2] = {out, in};
    std::string error;
    const int32_t n = reader_.read(channels, kBlock, error);
    if (n < 0) std::fprintf(stderr, "check: %s\n", error.c_str());
    return n < 0 ? 0 : n;
  }

  static constexpr int32_t kBlock = 48000;
  float out[kBlock];
  float in[kBlock];

 private:
  SoundFileReader reader_;
};

// The input's period: the shortest lag at which a tenth of a second of it repeats exactly
// (jack_simple_client plays a sine from a table), in the first ten seconds; 0 if none does.
long periodOf(const std::string& path) {
  Recording recording;
  if (!recording.open(path)) return 0;
  const double rate = recording.rate();
  std::vector<float> input;
  for (int32_t n; input.size() < 10 * rate && (n = recording.next()) > 0;)
    input.insert(input.end(), recording.in, recording.in + n);
  const long span = static_cast<long>(0.1 * rate), longest = static_cast<long>(0.05 * rate);
  for (long from = 0; from + longest + span <= static_cast<long>(input.size()); from += span) {
    for (long lag = 2; lag < longest; ++lag) {
      long k = from;
      while (k < from + span && input[k] == input[k + lag]) ++k;
      if (k == from + span && input[from] != input[from + 1]) return lag;
    }
  }
  return 0;
}

// The level that most of the periods share, within kSteadyDb, and how many do.
std::pair<double, size_t> steadyLevel(const std::vector<double>& levels) {
  std::pair<double, size_t> steady = {0.0, 0};
  for (const double level : levels) {
    size_t near = 0;
    double sum = 0.0;
    for (const double other : levels) {
      if (std::fabs(other - level) > kSteadyDb) continue;
      ++near;
      sum += other;
    }
    if (near > steady.second) steady = {sum / near, near};
  }
  return steady;
}

int check(double seconds, const std::string& path) {
  const long period = periodOf(path);
  Recording recording;
  if (period == 0 || !recording.open(path)) {
    if (period == 0) std::fprintf(stderr, "check: the input is not a periodic signal\n");
    return 1;
  }
  const double rate = recording.rate();
  const long shortestSilence = static_cast<long>(kShortestSilence * rate);
  const long measured = static_cast<long>(kMeasureTo * rate) / period * period;

  // Where sound starts after a silence; for each but the first, the level of each whole period
  // of output 1 (in dB) in the first kMeasureTo.
  std::vector<long> starts;
  std::vector<std::vector<double>> probeLevels;
  long position = 0, silent = 0, measuring = 0;
  double power = 0.0;
  for (int32_t n; (n = recording.next()) > 0;) {
    for (int32_t i = 0; i < n; ++i, ++position) {
      const float x = recording.out[i];
      if (x != 0.0f) {
        if (silent >= shortestSilence) {
          starts.push_back(position);
          if (starts.size() > 1) {
            probeLevels.emplace_back();
            measuring = measured;
            power = 0.0;
          }
        }
        silent = 0;
      } else {
        ++silent;
      }
      if (measuring > 0) {
        power += static_cast<double>(x) * x;
        if (--measuring % period == 0) {
          // A silent period is the moving controls' (a gate's off phase) after a short probe.
          if (power > 0.0) probeLevels.back().push_back(10.0 * std::log10(power / period));
          power = 0.0;
        }
      }
    }
  }
  if (starts.size() != static_cast<size_t>(cycles(seconds) + 1)) {
    std::fprintf(stderr,
                 "check: %zu sounds after a silence, not the %d of the session:", starts.size(),
                 cycles(seconds) + 1);
    for (const long k : starts) std::fprintf(stderr, " %.2f s", k / rate);
    std::fprintf(stderr, "\n");
    return 1;
  }

  std::vector<double> perGain;  // of the probes with enough periods at one level
  int disturbed = 0;
  for (int cycle = 0; cycle < cycles(seconds); ++cycle) {
    const auto [level, periods] = steadyLevel(probeLevels[cycle]);
    if (periods < kFewestPeriods) {
      ++disturbed;
      continue;
    }
    perGain.push_back(level - 20.0 * std::log10(probeGain(cycle)));
  }
  if (perGain.size() < kFewestProbes * cycles(seconds)) {
    std::fprintf(stderr, "check: %d of the %d probes were too short or too broken to measure\n",
                 disturbed, cycles(seconds));
    return 1;
  }
  std::vector<double> sorted = perGain;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  double spread = 0.0;
  for (const double db : perGain) spread = std::max(spread, std::fabs(db - median));
  std::printf(
      "recording: %.1f s; %zu probes after silences at gain 0 (and %d too short or too broken "
      "to measure), level over gain %.1f dB, all within %.2f dB of it\n",
      position / rate, perGain.size(), disturbed, median, spread);
  if (spread > kGainToleranceDb) {
    std::fprintf(stderr, "check: the level does not follow the gain\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc >= 3 ? argv[1] : "";
  const double seconds = argc >= 3 ? std::atof(argv[2]) : 0.0;
  if (command == "length" && argc == 3) {
    std::printf("%.0f\n", std::ceil(sessionLength(seconds)));
    return 0;
  }
  if (command == "play" && argc == 4) return play(seconds, argv[3]);
  if (command == "check" && argc == 4) return check(seconds, argv[3]);
  std::fprintf(stderr,
               "usage: lv2_live_controls length SECONDS | play SECONDS GO_FILE | check SECONDS "
               "RECORDING\n");
  return 2;
}

#include "tools/mvrender/pitch.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Semitones above C of the seven natural notes A to G.
constexpr int kNaturalSemitone[7] = {9, 11, 0, 2, 4, 5, 7};

bool parseNote(const std::string& text, double& hertz) {
  if (text.size() < 2) return false;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (letter < 'A' || letter > 'G') return false;
  int semitone = kNaturalSemitone[letter - 'A'];
  size_t i = 1;
  if (text[i] == '#') {
    ++semitone;
    ++i;
  } else if (text[i] == 'b') {
    --semitone;
    ++i;
  }
  const std::string octaveText = text.substr(i);
  if (octaveText.empty() || octaveText.size() > 2) return false;
  char* end = nullptr;
  const long octave = std::strtol(octaveText.c_str(), &end, 10);
  if (*end != '\0' || octave < -1 || octave > 9) return false;
  const int midiNote = 12 * (static_cast<int>(octave) + 1) + semitone;
  hertz = 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
  return true;
}

bool parseHertz(const std::string& text, double& hertz) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return false;
  std::string rest(end);
  if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  if (!(rest.empty() || rest == "Hz" || rest == "hz" || rest == "HZ")) return false;
  hertz = value;
  return true;
}

}  // namespace

bool parsePitch(const std::string& text, double& hertz, std::string& error) {
  double value = 0.0;
  if (!parseNote(text, value) && !parseHertz(text, value)) {
    error = "bad pitch '" + text + "': give a note name such as A2 or C#3, or a frequency in Hz";
    return false;
  }
  if (!(value >= kLowestPitchHz && value <= kHighestPitchHz)) {
    char range[96];
    std::snprintf(range, sizeof range, "%.0f to %.0f Hz", kLowestPitchHz, kHighestPitchHz);
    error = "pitch '" + text + "' is out of range: the carrier's pitch must be " + range;
    return false;
  }
  hertz = value;
  return true;
}

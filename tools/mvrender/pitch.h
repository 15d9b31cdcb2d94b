#pragma once
// Pitches as a user writes them: a note name ("A2", "C#3", "Bb1"; A4 is 440 Hz, equal
// temperament) or a frequency ("110", "98.5Hz", "220 hz").

#include <string>

constexpr double kLowestPitchHz = 16.0;
constexpr double kHighestPitchHz = 4000.0;

// Parses `text` into hertz within kLowestPitchHz to kHighestPitchHz; false with a one-line
// reason otherwise.
bool parsePitch(const std::string& text, double& hertz, std::string& error);

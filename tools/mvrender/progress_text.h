#pragma once
// What the renderer prints about a render: the progress bar redrawn in place on a terminal,
// and the one summary line at the end.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/mvrender/render_loop.h"

// "[##########..........]  50%  0:03 left"; `fraction` is clamped to 0..1, the time left is
// estimated from the time taken so far once there is something to estimate from.
std::string formatProgressBar(double fraction, double elapsedSeconds, int barWidth = 40);

// "0.85 s", "59.99 s", "1:02.5", "10:00.0".
std::string formatDuration(double seconds);

// Peak level in dB relative to full scale: "-3.2 dBFS", "+1.5 dBFS", "-inf dBFS".
std::string formatPeak(float peak);

// "out.wav: 4.20 s of audio, peak -3.1 dBFS, took 0.52 s, 8.1x real time"
std::string formatSummary(const std::string& outputPath, const RenderSummary& summary);

// Draws the bar on a terminal stream, at most every tenth of a second, and wipes it at the end.
class TerminalProgress : public RenderProgress {
 public:
  explicit TerminalProgress(std::FILE* out);
  void progress(int64_t framesDone, int64_t framesTotal) override;
  void finish();

 private:
  std::FILE* out_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point lastDrawn_;
  bool drawn_ = false;
};

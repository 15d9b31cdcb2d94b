#include "tools/mvrender/progress_text.h"

#include <algorithm>
#include <cmath>

namespace {

std::string printf1(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string formatDuration(double seconds) {
  if (!(seconds >= 0.0)) seconds = 0.0;
  if (seconds < 60.0) return printf1("%.2f s", seconds);
  const long tenths = static_cast<long>(std::floor(seconds * 10.0 + 0.5));
  char text[64];
  std::snprintf(text, sizeof text, "%ld:%02ld.%ld", tenths / 600, (tenths / 10) % 60, tenths % 10);
  return text;
}

std::string formatProgressBar(double fraction, double elapsedSeconds, int barWidth) {
  if (!(fraction >= 0.0)) fraction = 0.0;
  fraction = std::min(fraction, 1.0);
  barWidth = std::max(barWidth, 1);
  const int filled = static_cast<int>(fraction * barWidth);
  std::string line = "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]";
  line += printf1(" %3.0f%%", std::floor(fraction * 100.0));
  if (fraction > 0.0 && fraction < 1.0 && elapsedSeconds >= 1.0) {
    const long left = static_cast<long>(std::ceil(elapsedSeconds * (1.0 - fraction) / fraction));
    char text[48];
    std::snprintf(text, sizeof text, "  %ld:%02ld left", left / 60, left % 60);
    line += text;
  }
  return line;
}

std::string formatPeak(float peak) {
  if (!(peak > 0.0f)) return "-inf dBFS";
  const double db = 20.0 * std::log10(static_cast<double>(peak));
  return printf1(db >= 0.05 ? "+%.1f dBFS" : "%.1f dBFS", std::fabs(db) < 0.05 ? 0.0 : db);
}

std::string formatSummary(const std::string& outputPath, const RenderSummary& summary) {
  const double length = summary.sampleRate > 0.0 ? summary.frames / summary.sampleRate : 0.0;
  std::string line = outputPath + ": " + formatDuration(length) + " of audio, peak " +
                     formatPeak(summary.peak) + ", took " + formatDuration(summary.elapsedSeconds);
  if (summary.elapsedSeconds > 0.0) {
    const double factor = length / summary.elapsedSeconds;
    line += printf1(factor >= 10.0 ? ", %.0fx real time" : ", %.1fx real time", factor);
  }
  return line;
}

TerminalProgress::TerminalProgress(std::FILE* out)
    : out_(out), started_(std::chrono::steady_clock::now()), lastDrawn_(started_) {}

void TerminalProgress::progress(int64_t framesDone, int64_t framesTotal) {
  const auto now = std::chrono::steady_clock::now();
  const bool last = framesDone >= framesTotal;
  if (drawn_ && !last && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
  const double elapsed = std::chrono::duration<double>(now - started_).count();
  const double fraction = framesTotal > 0 ? static_cast<double>(framesDone) / framesTotal : 1.0;
  // Padded to a fixed width, so that a shorter line covers the longer one before it.
  std::fprintf(out_, "\r%-64s", formatProgressBar(fraction, elapsed).c_str());
  std::fflush(out_);
  lastDrawn_ = now;
  drawn_ = true;
}

void TerminalProgress::finish() {
  if (!drawn_) return;
  std::fprintf(out_, "\r%64s\r", "");
  std::fflush(out_);
  drawn_ = false;
}

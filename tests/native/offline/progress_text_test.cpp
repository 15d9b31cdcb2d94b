// What the user reads: the progress bar, durations, peak levels and the summary line.

#include "tools/mvrender/progress_text.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressText, BarFillsWithTheFractionAndEstimatesTheTimeLeft) {
  EXPECT_EQ("[..........]   0%", formatProgressBar(0.0, 0.0, 10));
  EXPECT_EQ("[#####.....]  50%", formatProgressBar(0.5, 0.5, 10)) << "no estimate within the first second";
  EXPECT_EQ("[#####.....]  50%  0:04 left", formatProgressBar(0.5, 4.0, 10));
  EXPECT_EQ("[#.........]  10%  1:30 left", formatProgressBar(0.1, 10.0, 10));
  EXPECT_EQ("[##########] 100%", formatProgressBar(1.0, 10.0, 10));
  EXPECT_EQ("[##########] 100%", formatProgressBar(7.0, 10.0, 10));
  EXPECT_EQ("[..........]   0%", formatProgressBar(-1.0, 10.0, 10));
  EXPECT_EQ("[#########.]  99%", formatProgressBar(0.999, 0.1, 10)) << "100% only when done";
}

TEST(ProgressText, DurationsPeaksAndTheSummary) {
  EXPECT_EQ("0.85 s", formatDuration(0.849));
  EXPECT_EQ("59.99 s", formatDuration(59.99));
  EXPECT_EQ("1:02.5", formatDuration(62.5));
  EXPECT_EQ("10:00.0", formatDuration(600.0));
  EXPECT_EQ("-inf dBFS", formatPeak(0.0f));
  EXPECT_EQ("0.0 dBFS", formatPeak(1.0f));
  EXPECT_EQ("-6.0 dBFS", formatPeak(0.5f));
  EXPECT_EQ("+6.0 dBFS", formatPeak(2.0f));

  RenderSummary summary;
  summary.frames = 441000;
  summary.sampleRate = 44100.0;
  summary.peak = 0.5f;
  summary.elapsedSeconds = 0.5;
  EXPECT_EQ("out.wav: 10.00 s of audio, peak -6.0 dBFS, took 0.50 s, 20x real time",
            formatSummary("out.wav", summary));
  summary.elapsedSeconds = 2.0;
  EXPECT_EQ("out.wav: 10.00 s of audio, peak -6.0 dBFS, took 2.00 s, 5.0x real time",
            formatSummary("out.wav", summary));
}

}  // namespace

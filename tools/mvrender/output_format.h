#pragma once
// What the rendered file holds: its container, chosen by the output's name or --format, and its
// samples, chosen by --bits. Every pairing is written by libsndfile but FLAC with float samples,
// which FLAC does not hold.

enum class FileType { kWav, kFlac };
enum class SampleFormat { kPcm16, kPcm24, kFloat32 };

inline bool isInteger(SampleFormat format) { return format != SampleFormat::kFloat32; }

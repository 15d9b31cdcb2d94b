#pragma once
// The few file-system operations the offline renderer needs beyond <cstdio>, behind one seam so
// that the same code builds natively and for 32-bit Windows: 64-bit positions (WAV files reach
// 4 GB), exclusive creation of a new file, and replacing a file by another in one step.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Size of an open file in bytes, or -1 when it cannot be told.
int64_t fileSize(std::FILE* file);

// Moves the position of an open file; false on failure.
bool seekFile(std::FILE* file, int64_t offset, int whence);

// Creates `path` for binary writing only if it does not exist yet; null otherwise.
std::FILE* createNewFile(const std::string& path);

// Renames `from` to `to`, replacing `to` if it exists; false with a reason on failure.
bool replaceFile(const std::string& from, const std::string& to, std::string& error);

// Writes `size` bytes as the whole new content of `path`, through a temporary file beside it
// that replaces the target only once it is complete; false with a one-line reason otherwise.
bool writeFileReplacing(const std::string& path, const void* data, size_t size, std::string& error);

bool removeFile(const std::string& path);
bool fileExists(const std::string& path);

// The text of the last C library error, e.g. "No such file or directory".
std::string systemErrorText();

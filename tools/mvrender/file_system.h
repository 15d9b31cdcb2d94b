#pragma once
// The few file-system operations the offline renderer needs beyond <cstdio>, behind one seam so
// that the same code builds natively and for Windows: exclusive creation of a new file, and
// replacing a file by another in one step.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Creates `path` for binary writing only if it does not exist yet; null otherwise.
std::FILE* createNewFile(const std::string& path);

// Creates a new temporary file beside `path` for binary writing, under a name no other run has
// taken (PATH.tmp, PATH.1.tmp, ...): renamed over `path` once complete, the new content
// replaces the old in one step. Null with a one-line reason otherwise.
std::FILE* createTemporaryBeside(const std::string& path, std::string& temporaryPath,
                                 std::string& error);

// Renames the complete temporary file over `path`; on failure removes it and says why.
bool commitTemporary(const std::string& temporaryPath, const std::string& path,
                     std::string& error);

// Renames `from` to `to`, replacing `to` if it exists; false with a reason on failure.
bool replaceFile(const std::string& from, const std::string& to, std::string& error);

// Writes `size` bytes as the whole new content of `path`, through a temporary file beside it
// that replaces the target only once it is complete; false with a one-line reason otherwise.
bool writeFileReplacing(const std::string& path, const void* data, size_t size, std::string& error);

bool removeFile(const std::string& path);
bool fileExists(const std::string& path);

// The text of the last C library error, e.g. "No such file or directory".
std::string systemErrorText();

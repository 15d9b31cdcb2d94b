#include "tools/mvrender/file_system.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

std::FILE* createNewFile(const std::string& path) {
#if defined(_WIN32)
  const int fd = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
#else
  const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
#endif
}

std::FILE* createTemporaryBeside(const std::string& path, std::string& temporaryPath,
                                 std::string& error) {
  constexpr int kMaxTemporaryNames = 100;
  std::string reason = "too many temporary files";
  for (int n = 0; n < kMaxTemporaryNames; ++n) {
    temporaryPath = path + (n == 0 ? std::string() : "." + std::to_string(n)) + ".tmp";
    if (std::FILE* file = createNewFile(temporaryPath)) return file;
    reason = systemErrorText();
    if (!fileExists(temporaryPath)) break;  // not a name clash: the directory refuses
  }
  error = path + ": cannot create the file: " + reason;
  return nullptr;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& error) {
#if defined(_WIN32)
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, text, sizeof text, nullptr);
  error = text;
  while (!error.empty() && (error.back() == '\n' || error.back() == '\r' || error.back() == '.'))
    error.pop_back();
  return false;
#else
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  error = systemErrorText();
  return false;
#endif
}

bool writeFileReplacing(const std::string& path, const void* data, size_t size, std::string& error) {
  std::string temporary;
  std::FILE* file = createTemporaryBeside(path, temporary, error);
  if (file == nullptr) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = path + ": cannot write: " + systemErrorText();
    removeFile(temporary);
    return false;
  }
  return commitTemporary(temporary, path, error);
}

bool commitTemporary(const std::string& temporaryPath, const std::string& path,
                     std::string& error) {
  std::string reason;
  if (replaceFile(temporaryPath, path, reason)) return true;
  error = path + ": cannot replace the file: " + reason;
  removeFile(temporaryPath);
  return false;
}

bool removeFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

bool fileExists(const std::string& path) {
#if defined(_WIN32)
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat info;
  return stat(path.c_str(), &info) == 0;
#endif
}

std::string systemErrorText() { return std::strerror(errno); }

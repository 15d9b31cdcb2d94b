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

int64_t fileSize(std::FILE* file) {
#if defined(_WIN32)
  const int64_t here = _ftelli64(file);
  if (here < 0 || _fseeki64(file, 0, SEEK_END) != 0) return -1;
  const int64_t size = _ftelli64(file);
  if (_fseeki64(file, here, SEEK_SET) != 0) return -1;
  return size;
#else
  struct stat info;
  if (fstat(fileno(file), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
#endif
}

bool seekFile(std::FILE* file, int64_t offset, int whence) {
#if defined(_WIN32)
  return _fseeki64(file, offset, whence) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

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
  const std::string temporary = path + ".tmp";
  std::FILE* file = createNewFile(temporary);
  if (file == nullptr) {
    error = path + ": cannot create the file: " + systemErrorText();
    return false;
  }
  const bool written = std::fwrite(data, 1, size, file) == size;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = path + ": cannot write: " + systemErrorText();
    removeFile(temporary);
    return false;
  }
  std::string reason;
  if (!replaceFile(temporary, path, reason)) {
    error = path + ": cannot replace the file: " + reason;
    removeFile(temporary);
    return false;
  }
  return true;
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

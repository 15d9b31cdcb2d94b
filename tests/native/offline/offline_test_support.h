#pragma once
// Helpers of the offline host's tests: a scratch directory removed afterwards, raw file
// contents, little-endian WAV building blocks for broken fixtures, and sox when it is there.

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/mvrender-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "/tmp";
  }
  ~TempDir() {
    for (const std::string& name : files()) std::remove((path_ + "/" + name).c_str());
    rmdir(path_.c_str());
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Every entry of the directory, "." and ".." left out.
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path_.c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(dir);
    }
    return names;
  }

 private:
  std::string path_;
};

inline std::vector<unsigned char> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline bool fileExistsAt(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Little-endian pieces for hand-built WAV files.
struct Bytes {
  std::vector<unsigned char> data;
  Bytes& id(const char* four) {
    data.insert(data.end(), four, four + 4);
    return *this;
  }
  Bytes& u16(uint32_t v) {
    data.push_back(static_cast<unsigned char>(v));
    data.push_back(static_cast<unsigned char>(v >> 8));
    return *this;
  }
  Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bytes& raw(const std::vector<unsigned char>& more) {
    data.insert(data.end(), more.begin(), more.end());
    return *this;
  }
  Bytes& zeros(size_t n) {
    data.insert(data.end(), n, 0);
    return *this;
  }
};

// A plain 16-byte fmt chunk.
inline Bytes fmtChunk(uint32_t tag, uint32_t channels, uint32_t rate, uint32_t bits) {
  const uint32_t align = channels * ((bits + 7) / 8);
  Bytes b;
  b.id("fmt ").u32(16).u16(tag).u16(channels).u32(rate).u32(rate * align).u16(align).u16(bits);
  return b;
}

// RIFF/WAVE around the given chunks, with a correct RIFF size.
inline std::vector<unsigned char> riffWave(const std::vector<Bytes>& chunks) {
  Bytes body;
  body.id("WAVE");
  for (const Bytes& c : chunks) body.raw(c.data);
  Bytes file;
  file.id("RIFF").u32(static_cast<uint32_t>(body.data.size())).raw(body.data);
  return file.data;
}

inline bool haveSox() { return std::system("command -v sox >/dev/null 2>&1") == 0; }

inline bool runCommand(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

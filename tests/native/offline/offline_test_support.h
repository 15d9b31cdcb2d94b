#pragma once
// Helpers of the offline host's tests: a scratch directory removed afterwards, raw file
// contents, whole audio files, and sox when it is there.

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/mvrender/sound_file_reader.h"
#include "tools/mvrender/sound_file_writer.h"

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

// Whole audio files through the program's own reader and writer, one vector per channel.
inline bool writeSound(const std::string& path, const std::vector<std::vector<float>>& channels,
                       uint32_t rate = 44100, SampleFormat samples = SampleFormat::kPcm16,
                       FileType type = FileType::kWav) {
  OutputFormat format;
  format.type = type;
  format.samples = samples;
  format.channels = static_cast<int32_t>(channels.size());
  format.sampleRate = rate;
  SoundFileWriter writer;
  std::string error;
  std::vector<const float*> pointers;
  for (const auto& channel : channels) pointers.push_back(channel.data());
  const bool written = writer.open(path, format, error) &&
                       writer.write(pointers.data(), static_cast<int32_t>(channels[0].size()), error) &&
                       writer.finish(error);
  EXPECT_TRUE(written) << error;
  return written;
}

inline std::vector<std::vector<float>> readSound(const std::string& path, uint32_t* rate = nullptr) {
  SoundFileReader reader;
  std::string error;
  if (!reader.open(path, error)) {
    ADD_FAILURE() << error;
    return {};
  }
  if (rate != nullptr) *rate = reader.sampleRate();
  std::vector<std::vector<float>> channels(static_cast<size_t>(reader.channels()),
                                           std::vector<float>(static_cast<size_t>(reader.frames())));
  std::vector<float*> pointers;
  for (auto& channel : channels) pointers.push_back(channel.data());
  EXPECT_EQ(reader.frames(), reader.read(pointers.data(), static_cast<int32_t>(reader.frames()), error))
      << error;
  return channels;
}

inline bool haveSox() { return std::system("command -v sox >/dev/null 2>&1") == 0; }

inline bool runCommand(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

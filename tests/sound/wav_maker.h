// Hand-made RIFF WAVE files and a scratch folder to put them in.
#pragma once

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

inline std::string le16(uint16_t v) { return std::string{char(v & 0xff), char(v >> 8)}; }
inline std::string le32(uint32_t v) {
  return std::string{char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff),
                     char((v >> 24) & 0xff)};
}

inline std::string chunk(const std::string& id, const std::string& payload) {
  return id + le32(static_cast<uint32_t>(payload.size())) + payload;
}

// The format chunk's payload; `extra` true gives the 18-byte form.
inline std::string fmtPayload(int channels, int rate, int bits, bool extra = false,
                              int blockAlign = -1) {
  if (blockAlign < 0) blockAlign = channels * bits / 8;
  std::string p = le16(1) + le16(static_cast<uint16_t>(channels)) + le32(static_cast<uint32_t>(rate)) +
                  le32(static_cast<uint32_t>(rate * blockAlign)) +
                  le16(static_cast<uint16_t>(blockAlign)) + le16(static_cast<uint16_t>(bits));
  if (extra) p += le16(0);
  return p;
}

// "RIFF" + size + "WAVE" + chunks; the size is the true one unless given.
inline std::string riff(const std::string& chunks, int64_t riffSize = -1) {
  uint32_t size = riffSize < 0 ? static_cast<uint32_t>(4 + chunks.size())
                               : static_cast<uint32_t>(riffSize);
  return "RIFF" + le32(size) + "WAVE" + chunks;
}

inline std::string pcm16(const std::vector<int16_t>& samples) {
  std::string s;
  for (int16_t v : samples) s += le16(static_cast<uint16_t>(v));
  return s;
}

// A plain file: 16-byte format chunk, then the data chunk.
inline std::string simpleWav(int channels, int rate, int bits, const std::string& data) {
  return riff(chunk("fmt ", fmtPayload(channels, rate, bits)) + chunk("data", data));
}

// Stereo 16-bit at the device rate, so the converter passes samples through.
inline std::string deviceWav(const std::vector<int16_t>& stereo) {
  return simpleWav(2, 44100, 16, pcm16(stereo));
}

inline bool writeFile(const std::string& path, const std::string& bytes) {
  return sysWriteFileAtomic(path.c_str(), bytes.data(), bytes.size());
}

// A fresh temporary folder that is the working folder while the object lives.
struct ScratchFolder {
  std::string path;
  std::string previous;
  ScratchFolder() {
    char cwd[PATH_MAX];
    previous = getcwd(cwd, sizeof cwd) ? cwd : ".";
    std::string pattern = std::filesystem::temp_directory_path().string() + "/wendlop-sound-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data())) path = name.data();
    sysChangeDirectory(path.c_str());
  }
  ~ScratchFolder() {
    sysChangeDirectory(previous.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

// Shared by the music tests: a player on the recording output, songs written
// to temporary files, and a log of what the sequencer sent.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

#include "music/music.h"
#include "music/song.h"
#include "platform/midi.h"
#include "platform/platform.h"

using Bytes = std::vector<uint8_t>;

// Every message the output took, in order, with the step that sent it.
struct SentMessage {
  long step;
  Bytes bytes;
};
inline std::mutex sentMutex;
inline std::vector<SentMessage> sentMessages;
inline long currentStep = 0;

inline void recordMessage(const uint8_t* bytes, int length) {
  std::lock_guard<std::mutex> lock(sentMutex);
  sentMessages.push_back({currentStep, Bytes(bytes, bytes + length)});
}

inline std::vector<SentMessage> takeSent() {
  std::lock_guard<std::mutex> lock(sentMutex);
  std::vector<SentMessage> taken;
  taken.swap(sentMessages);
  return taken;
}

inline size_t sentCount() {
  std::lock_guard<std::mutex> lock(sentMutex);
  return sentMessages.size();
}

// A Standard MIDI File: header with the given track count field and division,
// then one "MTrk" chunk per track.
inline Bytes makeSong(const std::vector<Bytes>& tracks, int division = 48, int countField = -1) {
  const int count = countField < 0 ? static_cast<int>(tracks.size()) : countField;
  Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count),
                static_cast<uint8_t>(division >> 8), static_cast<uint8_t>(division)};
  for (const Bytes& track : tracks) {
    const uint32_t n = static_cast<uint32_t>(track.size());
    file.insert(file.end(), {'M', 'T', 'r', 'k', static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                             static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    file.insert(file.end(), track.begin(), track.end());
  }
  return file;
}

inline std::string tempPath(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("wendlop-music-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

inline std::string writeTemp(const std::string& name, const Bytes& bytes) {
  const std::string path = tempPath(name);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  return path;
}

inline std::string hex(const Bytes& bytes) {
  std::string text;
  char cell[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(cell, sizeof cell, i ? " %02X" : "%02X", bytes[i]);
    text += cell;
  }
  return text;
}

// A ready player on the recording output, with nothing sent yet.
class MusicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sysSetHeadless(true);
    sysMidiSelect(SysMidiRecorder);
    sysMidiSetRecorder(recordMessage);
    constructMusicPlayer();
    ASSERT_TRUE(musicPlayer.ready);
    currentStep = 0;
    takeSent();
  }
  void TearDown() override {
    unpoisonSong();
    playing.store(false);
    teardownMusicPlayer();
    sysMidiSetRecorder(nullptr);
    takeSent();
  }

  bool loadBytes(const Bytes& bytes, const std::string& name = "song.mid") {
    return loadSong(writeTemp(name, bytes).c_str());
  }

  // Under the address sanitizer, any read of the song buffer past the last
  // track's data fails the test.
  static void poisonAfterTracks() {
    const int32_t end = song.trackStart[song.trackCount];
    ASAN_POISON_MEMORY_REGION(song.songBuffer + end, SongBufferSize - end);
  }
  static void unpoisonSong() {
    if (musicPlayer.songLoaded) ASAN_UNPOISON_MEMORY_REGION(song.songBuffer, SongBufferSize);
  }

  // Steps the sequencer by hand, as the timing thread would, without a thread.
  void step(int count = 1) {
    playing.store(true);
    for (int i = 0; i < count; ++i) {
      ++currentStep;
      advanceClock();
    }
    playing.store(false);
  }

  // The messages sent so far as "step: bytes" lines.
  std::vector<std::string> sentLines() {
    std::vector<std::string> lines;
    for (const SentMessage& m : takeSent()) lines.push_back(std::to_string(m.step) + ": " + hex(m.bytes));
    return lines;
  }
};

// The Standard MIDI File loader, then a few hundred steps of the sequencer
// over what it loaded. Each track is copied into a block of its own with a
// poisoned zone behind it, so that a read past the end of any one track, not
// only past the last, is reported.
#include <sanitizer/asan_interface.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "music/music.h"
#include "music/song.h"
#include "platform/midi.h"
#include "platform/platform.h"

namespace {
constexpr int Steps = 300;
constexpr size_t Guard = 64;
uint8_t* loaded = nullptr;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sysSetHeadless(true);
  sysMidiSelect(SysMidiRecorder);  // messages go nowhere: no hook is set
  constructMusicPlayer();
  loaded = new uint8_t[SongBufferSize];
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string why;
  if (!parseSong(data, size, loaded, &why)) return 0;

  // Each block ends on an 8-byte boundary: the sanitizer poisons whole
  // 8-byte granules, so the guard then starts at the track's last byte.
  size_t total = 0;
  for (int t = 0; t < song.trackCount; ++t) total += static_cast<size_t>(song.trackLength[t]) + 8 + Guard;
  std::vector<uint8_t> blocks(total + 8);
  size_t at = 0;
  for (int t = 0; t < song.trackCount; ++t) {
    const size_t length = static_cast<size_t>(song.trackLength[t]);
    at = (at + 7) / 8 * 8 + (8 - length % 8) % 8;
    std::memcpy(blocks.data() + at, loaded + song.trackStart[t], length);
    song.trackStart[t] = static_cast<int32_t>(at);
    ASAN_POISON_MEMORY_REGION(blocks.data() + at + length, Guard);
    at += length + Guard;
  }
  if (song.trackCount < MaxTracks) song.trackStart[song.trackCount] = static_cast<int32_t>(at);

  song.songBuffer = blocks.data();
  song.activeTracksAtLoad = song.activeTracks;
  sequencer.tempoBpm = 125;  // no load resets it; every input starts from the same tempo
  rewindSong();
  playing.store(true);
  for (int step = 0; step < Steps; ++step) advanceClock();
  playing.store(false);
  song.songBuffer = nullptr;
  ASAN_UNPOISON_MEMORY_REGION(blocks.data(), blocks.size());
  return 0;
}

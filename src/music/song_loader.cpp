// Standard MIDI File loader: reads every track's data into one block.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "music/music.h"
#include "music/song.h"
#include "platform/bytes.h"
#include "platform/platform.h"

Song song;

bool tagEquals(const uint8_t* bytes, const char* tag) {
  for (int i = 0; i < 4; ++i)
    if (bytes[i] != static_cast<uint8_t>(tag[i])) return false;
  return true;
}

int decodeVarLen(const uint8_t* bytes, int32_t available, int32_t* value) {
  // Unsigned accumulation: a quantity longer than four bytes wraps instead of
  // overflowing, and the caller sees the result as signed.
  uint32_t running = 0;
  for (int32_t i = 0; i < available; ++i) {
    const uint8_t b = bytes[i];
    if (!(b & 0x80)) {
      *value = static_cast<int32_t>(running + b);
      return static_cast<int>(i + 1);
    }
    running = (running + (b & 0x7F)) << 7;
  }
  *value = static_cast<int32_t>(running);
  return 0;
}

int varLenSize(int32_t value) {
  if (value <= 127) return 1;
  if (value <= 16383) return 2;
  if (value <= 2097151) return 3;
  return 4;
}

void appendBytes(uint8_t* target, const uint8_t* source, int count) {
  uint8_t* end = target;
  while (*end) ++end;
  for (int i = 0; i < count; ++i) {
    end[i] = source[i];
    end[i + 1] = 0;
  }
}

namespace {
// The longest file worth reading: the most track data the song buffer takes,
// with the header, every track's header and the prefix some files carry.
constexpr size_t MaxSongFileBytes = SongBufferSize + 128 + 14 + 8 * MaxTracks;

// The file in memory, taken from the front as the tables are filled.
struct SongReader {
  const uint8_t* bytes;
  size_t size;
  size_t at;
  // Copies up to n bytes; the count actually there.
  int take(uint8_t* out, int n) {
    const size_t left = at < size ? size - at : 0;
    const int got = static_cast<size_t>(n) < left ? n : static_cast<int>(left);
    if (got > 0) std::memcpy(out, bytes + at, static_cast<size_t>(got));  // an empty file has no bytes at all
    at += static_cast<size_t>(got);
    musicPlayer.bytesRead = got;
    return got;
  }
};
}  // namespace

bool parseSong(const uint8_t* file, size_t size, uint8_t* buffer, std::string* why) {
  SongReader in{file, size, 0};
  uint8_t* header = musicPlayer.headerBuffer;
  if (in.take(header, 14) != 14 || !tagEquals(header, "MThd")) {
    // Some files carry a 128-byte prefix before the header.
    in.at = 128;
    if (in.take(header, 14) != 14 || !tagEquals(header, "MThd")) {
      *why = "is not a Standard MIDI File (no MThd header)";
      return false;
    }
  }
  song.trackCount = header[11];
  song.division = header[12] * 256 + header[13];
  song.activeTracks = 0;
  musicPlayer.totalBytes = 0;
  song.trackStart[0] = 0;
  for (int i = 0; i < song.trackCount; ++i) {
    const std::string track = "track " + std::to_string(i + 1) + " of " + std::to_string(song.trackCount);
    uint8_t trackHeader[8];
    if (in.take(trackHeader, 8) != 8 || !tagEquals(trackHeader, "MTrk")) {
      *why = "is cut short or damaged: " + track + " has no MTrk header";
      return false;
    }
    const uint32_t length = readBe32(trackHeader + 4);
    song.activeTracks += 1;
    song.trackState[i] = TrackActive;
    musicPlayer.totalBytes += length;
    if (musicPlayer.totalBytes > SongBufferSize) {
      *why = "has more track data than the 1 MiB a song may hold";
      return false;
    }
    song.trackLength[i] = static_cast<int32_t>(length);
    if (i + 1 < MaxTracks) song.trackStart[i + 1] = static_cast<int32_t>(musicPlayer.totalBytes);
    if (in.take(buffer + song.trackStart[i], static_cast<int>(length)) != static_cast<int>(length)) {
      *why = "is cut short in " + track;
      return false;
    }
  }
  return true;
}

bool loadSong(const char* fileName) {
  observeMusic("load", fileName);
  if (!musicPlayer.ready || musicPlayer.songLoaded || !fileName) return false;
  std::vector<uint8_t> file;
  std::string why;
  bool ok = sysReadWholeFile(fileName, MaxSongFileBytes, &file, &why) == SysReadOk;
  uint8_t* buffer = nullptr;
  if (ok) {
    buffer = new (std::nothrow) uint8_t[SongBufferSize];
    if (!buffer) return false;
    // A failed load must never leave a song that could be played, so the
    // buffer is only taken when the whole file was read into the tables.
    ok = parseSong(file.data(), file.size(), buffer, &why);
  }
  if (!ok) {
    if (sysFirstReport(sysAbsolutePath(fileName))) std::fprintf(stderr, "wendlop: song not played: %s %s\n", fileName, why.c_str());
    delete[] buffer;
    return false;
  }
  if (song.trackCount == 0) {
    // An empty song counts as loaded but holds nothing to play.
    delete[] buffer;
    return true;
  }
  song.songBuffer = buffer;
  musicPlayer.songLoaded = true;
  song.activeTracksAtLoad = song.activeTracks;
  rewindSong();
  return true;
}

void releaseSong() {
  if (!musicPlayer.songLoaded) return;
  musicPlayer.songLoaded = false;
  delete[] song.songBuffer;
  song.songBuffer = nullptr;
}

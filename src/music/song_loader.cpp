// Standard MIDI File loader: reads every track's data into one block.
#include <new>

#include "music/music.h"
#include "music/song.h"
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

int32_t readVarLen(const uint8_t* bytes) {
  int32_t value = 0;
  decodeVarLen(bytes, INT32_MAX, &value);
  return value;
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

// Reads up to n bytes, going on after short reads; the count actually read.
static int readFully(SysFile* file, void* buffer, int n) {
  int total = 0;
  while (total < n) {
    const int got = sysRead(file, static_cast<uint8_t*>(buffer) + total, n - total);
    if (got <= 0) break;
    total += got;
  }
  musicPlayer.bytesRead = total;
  return total;
}

static uint32_t bigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

// Fills the song tables from the file into `buffer`. A failed load must never
// leave a song that could be played, so the caller only takes the buffer when
// this succeeds.
static bool readSongFile(SysFile* file, uint8_t* buffer) {
  uint8_t* header = musicPlayer.headerBuffer;
  if (readFully(file, header, 14) != 14 || !tagEquals(header, "MThd")) {
    // Some files carry a 128-byte prefix before the header.
    if (!sysSeek(file, 128) || readFully(file, header, 14) != 14 || !tagEquals(header, "MThd")) return false;
  }
  song.trackCount = header[11];
  song.division = header[12] * 256 + header[13];
  song.activeTracks = 0;
  musicPlayer.totalBytes = 0;
  song.trackStart[0] = 0;
  for (int i = 0; i < song.trackCount; ++i) {
    uint8_t trackHeader[8];
    if (readFully(file, trackHeader, 8) != 8 || !tagEquals(trackHeader, "MTrk")) return false;
    const uint32_t length = bigEndian32(trackHeader + 4);
    song.activeTracks += 1;
    song.trackState[i] = TrackActive;
    musicPlayer.totalBytes += length;
    if (musicPlayer.totalBytes > SongBufferSize) return false;
    song.trackLength[i] = static_cast<int32_t>(length);
    if (i + 1 < MaxTracks) song.trackStart[i + 1] = static_cast<int32_t>(musicPlayer.totalBytes);
    if (readFully(file, buffer + song.trackStart[i], static_cast<int>(length)) != static_cast<int>(length))
      return false;
  }
  return true;
}

bool loadSong(const char* fileName) {
  observeMusic("load", fileName);
  if (!musicPlayer.ready || musicPlayer.songLoaded || !fileName) return false;
  uint8_t* buffer = new (std::nothrow) uint8_t[SongBufferSize];
  if (!buffer) return false;
  SysFile* file = sysOpenRead(fileName);
  const bool ok = file && readSongFile(file, buffer);
  if (file) sysClose(file);
  if (!ok || song.trackCount == 0) {
    // An empty song counts as loaded but holds nothing to play.
    delete[] buffer;
    return ok;
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

// The sequencer: one 10 ms step at a time, every track sends the events that
// have fallen due. Every read stays inside the track's own data; an event cut
// short by the end of its track ends that track as an overrun.
#include <cstdint>

#include "music/song.h"

LoopPoint loopPoint;
int tempoBpm = 125;
int songTick = 0;
int tickFraction = 0;
bool loopSeen = false;

static void endTrack(int track, TrackState state) {
  song.trackState[track] = state;
  if (state == TrackEnded) song.trackTime[track] = 0x7FFFFFFF;
  if (song.activeTracks > 0) song.activeTracks -= 1;
}

static void overrun(int track) {
  song.trackPos[track] = song.trackLength[track];
  endTrack(track, TrackOverrun);
}

void runTrack(int track) {
  const uint8_t* data = song.songBuffer + song.trackStart[track];
  const int32_t length = song.trackLength[track];
  for (;;) {
    if (song.trackState[track] != TrackActive) return;
    int32_t pos = song.trackPos[track];
    if (pos >= length) {
      overrun(track);
      return;
    }
    if (song.trackTime[track] >= songTick) return;

    int32_t delta = 0;
    if (decodeVarLen(data + pos, length - pos, &delta) == 0 || delta < 0) {
      overrun(track);
      return;
    }
    // The event goes out in the first step that takes songTick past its time.
    const int64_t eventTime = int64_t{song.trackTime[track]} + delta;
    if (eventTime >= songTick) return;
    song.trackTime[track] = static_cast<int32_t>(eventTime);
    pos += varLenSize(delta);
    if (pos >= length) {
      overrun(track);
      return;
    }

    const uint8_t b = data[pos];
    uint8_t status;
    bool statusGiven;
    if (b < 0x80) {
      status = song.runningStatus[track];
      statusGiven = false;
      if (status == 0) {  // data with no status ever given
        overrun(track);
        return;
      }
    } else if (b <= 0xEF) {
      status = b;
      statusGiven = true;
      song.runningStatus[track] = b;
      pos += 1;
    } else if (b == 0xF0) {
      pos += 1;
      int32_t sysexLength = 0;
      if (pos >= length || decodeVarLen(data + pos, length - pos, &sysexLength) == 0 || sysexLength < 0) {
        overrun(track);
        return;
      }
      pos += varLenSize(sysexLength);
      if (pos > length || sysexLength > length - pos) {
        overrun(track);
        return;
      }
      // 0xF0, the data and appendBytes's terminating zero must fit; a longer
      // message is skipped whole rather than sent cut off.
      if (sysexLength <= SysexScratchSize - 2) {
        sysexScratch[0] = 0xF0;
        sysexScratch[1] = 0;
        appendBytes(sysexScratch, data + pos, sysexLength);
        sendLongMessage(sysexScratch, sysexLength + 1);
      }
      song.trackPos[track] = pos + sysexLength;
      continue;
    } else if (b == 0xFF) {
      // Type, then a one-byte length, then the data.
      if (length - pos < 3) {
        overrun(track);
        return;
      }
      const uint8_t type = data[pos + 1];
      const int32_t metaLength = data[pos + 2];
      const int32_t body = pos + 3;
      if (metaLength > length - body) {
        overrun(track);
        return;
      }
      song.trackPos[track] = body + metaLength;
      if (type == 0x2F) {
        endTrack(track, TrackEnded);
        return;
      }
      if (type == 0x51) {
        if (length - body < 3) {
          overrun(track);
          return;
        }
        const int32_t microseconds = (data[body] << 16) | (data[body + 1] << 8) | data[body + 2];
        if (microseconds > 0) tempoBpm = 60000000 / microseconds;  // a tempo of 0 keeps the last one
      }
      continue;
    } else {
      // 0xF1..0xFE have no meaning in a track here.
      overrun(track);
      return;
    }

    const int dataBytes = (status >= 0xC0 && status <= 0xDF) ? 1 : 2;
    if (length - pos < dataBytes) {
      overrun(track);
      return;
    }
    const uint32_t data1 = data[pos];
    const uint32_t data2 = dataBytes == 2 ? data[pos + 1] : 0;
    pos += dataBytes;
    song.trackPos[track] = pos;
    if (dataBytes == 2 && statusGiven && status == 0xB0 && data1 == 111) {
      saveLoopPoint();  // the loop marker is not sent
    } else {
      sendShortMessage(status | (data1 << 8) | (data2 << 16));
    }
  }
}

void advanceClock() {
  if (!playing.load(std::memory_order_relaxed)) return;
  // Wide arithmetic: a hostile division and tempo would overflow an int.
  const int64_t fraction = int64_t{tickFraction} + int64_t{song.division} * tempoBpm;
  if (fraction >= 6000) {
    const int64_t tick = int64_t{songTick} + fraction / 6000;
    songTick = tick > INT32_MAX ? INT32_MAX : static_cast<int>(tick);
    tickFraction = static_cast<int>(fraction % 6000);
  } else {
    tickFraction = static_cast<int>(fraction);
  }
  for (int track = 0; track < song.trackCount; ++track) runTrack(track);
  if (song.activeTracks > 0) return;
  if (loopSeen) {
    restoreLoopPoint();
  } else {
    rewindSong();
  }
}

void rewindSong() {
  for (int track = 0; track < song.trackCount; ++track) {
    song.trackState[track] = TrackActive;
    song.trackPos[track] = 0;
    song.trackTime[track] = 0;
  }
  song.activeTracks = song.activeTracksAtLoad;
  songTick = 0;
  tickFraction = 0;
  loopSeen = false;
}

void saveLoopPoint() {
  for (int track = 0; track < song.trackCount; ++track) {
    loopPoint.trackPos[track] = song.trackPos[track];
    loopPoint.trackTime[track] = song.trackTime[track];
    loopPoint.trackState[track] = song.trackState[track];
  }
  loopPoint.activeTracks = song.activeTracks;
  loopPoint.songTick = songTick;
  loopPoint.tempoBpm = tempoBpm;
  loopSeen = true;
}

void restoreLoopPoint() {
  for (int track = 0; track < song.trackCount; ++track) {
    song.trackPos[track] = loopPoint.trackPos[track];
    song.trackTime[track] = loopPoint.trackTime[track];
    song.trackState[track] = loopPoint.trackState[track];
  }
  song.activeTracks = loopPoint.activeTracks;
  songTick = loopPoint.songTick;
  tempoBpm = loopPoint.tempoBpm;
}

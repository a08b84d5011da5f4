// The sequencer: one 10 ms step at a time, every track sends the events that
// have fallen due. Every read stays inside the track's own data; an event cut
// short by the end of its track ends that track as an overrun.
#include <cstdint>

#include "music/song.h"

LoopPoint loopPoint;
SequencerState sequencer;

static void endTrack(int track, TrackState state) {
  song.trackState[track] = state;
  if (state == TrackEnded) song.trackTime[track] = 0x7FFFFFFF;
  if (song.activeTracks > 0) song.activeTracks -= 1;
}

static void overrun(int track) {
  song.trackPos[track] = song.trackLength[track];
  endTrack(track, TrackOverrun);
}

namespace {
// What one event of a track comes to: taken (sent or acted on, so the next
// may be due as well), not due yet, the end of the track, or cut short.
enum class EventOutcome { Taken, Wait, End, Overrun };

// A track's own data: no read goes past `length`.
struct TrackBytes {
  int track;
  const uint8_t* data;
  int32_t length;
};

// A system-exclusive message; `pos` is just past its 0xF0.
EventOutcome takeSysex(const TrackBytes& t, int32_t pos) {
  int32_t sysexLength = 0;
  if (pos >= t.length || decodeVarLen(t.data + pos, t.length - pos, &sysexLength) == 0 || sysexLength < 0)
    return EventOutcome::Overrun;
  pos += varLenSize(sysexLength);
  if (pos > t.length || sysexLength > t.length - pos) return EventOutcome::Overrun;
  // 0xF0, the data and appendBytes's terminating zero must fit; a longer
  // message is skipped whole rather than sent cut off.
  if (sysexLength <= SysexScratchSize - 2) {
    musicPlayer.sysexScratch[0] = 0xF0;
    musicPlayer.sysexScratch[1] = 0;
    appendBytes(musicPlayer.sysexScratch, t.data + pos, sysexLength);
    sendLongMessage(musicPlayer.sysexScratch, sysexLength + 1);
  }
  song.trackPos[t.track] = pos + sysexLength;
  return EventOutcome::Taken;
}

// A meta event at `pos` (its 0xFF): the type, then a one-byte length, then
// the data. Only the end of the track and the tempo mean anything here.
EventOutcome takeMeta(const TrackBytes& t, int32_t pos) {
  if (t.length - pos < 3) return EventOutcome::Overrun;
  const uint8_t type = t.data[pos + 1];
  const int32_t metaLength = t.data[pos + 2];
  const int32_t body = pos + 3;
  if (metaLength > t.length - body) return EventOutcome::Overrun;
  song.trackPos[t.track] = body + metaLength;
  if (type == 0x2F) return EventOutcome::End;
  if (type == 0x51) {
    if (t.length - body < 3) return EventOutcome::Overrun;
    const uint8_t* d = t.data + body;
    const int32_t microseconds = (d[0] << 16) | (d[1] << 8) | d[2];
    if (microseconds > 0) sequencer.tempoBpm = 60000000 / microseconds;  // a tempo of 0 keeps the last one
  }
  return EventOutcome::Taken;
}

// A channel message at `pos`, with its status byte or under running status.
EventOutcome takeChannelEvent(const TrackBytes& t, int32_t pos) {
  const uint8_t b = t.data[pos];
  const bool statusGiven = b >= 0x80;
  uint8_t status = b;
  if (statusGiven) {
    song.runningStatus[t.track] = b;
    pos += 1;
  } else {
    status = song.runningStatus[t.track];
    if (status == 0) return EventOutcome::Overrun;  // data with no status ever given
  }
  const int dataBytes = (status >= 0xC0 && status <= 0xDF) ? 1 : 2;
  if (t.length - pos < dataBytes) return EventOutcome::Overrun;
  const uint32_t data1 = t.data[pos];
  const uint32_t data2 = dataBytes == 2 ? t.data[pos + 1] : 0;
  song.trackPos[t.track] = pos + dataBytes;
  if (dataBytes == 2 && statusGiven && status == 0xB0 && data1 == 111) {
    saveLoopPoint();  // the loop marker is not sent
  } else {
    sendShortMessage(status | (data1 << 8) | (data2 << 16));
  }
  return EventOutcome::Taken;
}

// The track's next event, when it has fallen due.
EventOutcome takeEvent(const TrackBytes& t) {
  int32_t pos = song.trackPos[t.track];
  if (pos >= t.length) return EventOutcome::Overrun;
  if (song.trackTime[t.track] >= sequencer.songTick) return EventOutcome::Wait;
  int32_t delta = 0;
  if (decodeVarLen(t.data + pos, t.length - pos, &delta) == 0 || delta < 0) return EventOutcome::Overrun;
  // The event goes out in the first step that takes songTick past its time.
  const int64_t eventTime = int64_t{song.trackTime[t.track]} + delta;
  if (eventTime >= sequencer.songTick) return EventOutcome::Wait;
  song.trackTime[t.track] = static_cast<int32_t>(eventTime);
  pos += varLenSize(delta);
  if (pos >= t.length) return EventOutcome::Overrun;
  const uint8_t b = t.data[pos];
  if (b == 0xF0) return takeSysex(t, pos + 1);
  if (b == 0xFF) return takeMeta(t, pos);
  if (b > 0xEF) return EventOutcome::Overrun;  // 0xF1..0xFE have no meaning in a track here
  return takeChannelEvent(t, pos);
}
}  // namespace

void runTrack(int track) {
  if (song.trackState[track] != TrackActive) return;
  const TrackBytes t{track, song.songBuffer + song.trackStart[track], song.trackLength[track]};
  EventOutcome outcome = EventOutcome::Taken;
  while (outcome == EventOutcome::Taken) outcome = takeEvent(t);
  if (outcome == EventOutcome::End) endTrack(track, TrackEnded);
  if (outcome == EventOutcome::Overrun) overrun(track);
}

void advanceClock() {
  if (!playing.load(std::memory_order_relaxed)) return;
  // Wide arithmetic: a hostile division and tempo would overflow an int.
  const int64_t fraction = int64_t{sequencer.tickFraction} + int64_t{song.division} * sequencer.tempoBpm;
  if (fraction >= 6000) {
    const int64_t tick = int64_t{sequencer.songTick} + fraction / 6000;
    sequencer.songTick = tick > INT32_MAX ? INT32_MAX : static_cast<int>(tick);
    sequencer.tickFraction = static_cast<int>(fraction % 6000);
  } else {
    sequencer.tickFraction = static_cast<int>(fraction);
  }
  for (int track = 0; track < song.trackCount; ++track) runTrack(track);
  if (song.activeTracks > 0) return;
  if (sequencer.loopSeen) {
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
  sequencer.songTick = 0;
  sequencer.tickFraction = 0;
  sequencer.loopSeen = false;
}

void saveLoopPoint() {
  for (int track = 0; track < song.trackCount; ++track) {
    loopPoint.trackPos[track] = song.trackPos[track];
    loopPoint.trackTime[track] = song.trackTime[track];
    loopPoint.trackState[track] = song.trackState[track];
  }
  loopPoint.activeTracks = song.activeTracks;
  loopPoint.songTick = sequencer.songTick;
  loopPoint.tempoBpm = sequencer.tempoBpm;
  sequencer.loopSeen = true;
}

void restoreLoopPoint() {
  for (int track = 0; track < song.trackCount; ++track) {
    song.trackPos[track] = loopPoint.trackPos[track];
    song.trackTime[track] = loopPoint.trackTime[track];
    song.trackState[track] = loopPoint.trackState[track];
  }
  song.activeTracks = loopPoint.activeTracks;
  sequencer.songTick = loopPoint.songTick;
  sequencer.tempoBpm = loopPoint.tempoBpm;
}

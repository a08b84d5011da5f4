// A strict reader for the small MIDI file subset our songs keep to: it refuses
// what the game's player would read differently from an ordinary MIDI player.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MidiEvent {
  int tick = 0;
  uint8_t status = 0;      // channel status, or 0xFF for a meta event
  bool explicitStatus = false;
  uint8_t metaType = 0;
  std::vector<uint8_t> data;  // data bytes of a channel message, contents of a meta event
};

struct MidiTrack {
  std::vector<MidiEvent> events;  // the end-of-track event is not listed
  int endTick = -1;
};

struct MidiFile {
  int format = -1;
  int division = 0;
  std::vector<MidiTrack> tracks;
  std::string error;  // empty when the file keeps to the subset
};

inline MidiFile readMidi(const std::vector<uint8_t>& b) {
  MidiFile f;
  auto u16 = [&](size_t p) { return (b[p] << 8) | b[p + 1]; };
  auto u32 = [&](size_t p) { return (uint32_t(b[p]) << 24) | (b[p + 1] << 16) | (b[p + 2] << 8) | b[p + 3]; };
  auto bad = [&](std::string why) {
    f.error = why;
    return f;
  };
  if (b.size() < 14 || std::string(b.begin(), b.begin() + 4) != "MThd" || u32(4) != 6) return bad("no 6-byte MThd header");
  f.format = u16(8);
  int count = u16(10);
  f.division = u16(12);
  size_t p = 14;
  for (int t = 0; t < count; ++t) {
    if (p + 8 > b.size() || std::string(b.begin() + p, b.begin() + p + 4) != "MTrk") return bad("missing MTrk");
    size_t end = p + 8 + u32(p + 4);
    if (end > b.size()) return bad("track runs past the file");
    p += 8;
    MidiTrack tr;
    int tick = 0;
    uint8_t running = 0;
    while (p < end && tr.endTick < 0) {
      uint32_t delta = 0;
      int n = 0;
      do {
        if (p >= end || n == 4) return bad("bad delta time");
        if (n == 0 && b[p] == 0x80) return bad("delta time not in shortest form");
        delta = (delta << 7) | (b[p] & 0x7F);
        ++n;
      } while (b[p++] & 0x80);
      tick += int(delta);
      if (p >= end) return bad("event without its bytes");
      MidiEvent e;
      e.tick = tick;
      uint8_t s = b[p];
      if (s == 0xFF) {
        if (p + 3 > end) return bad("short meta event");
        e.status = 0xFF;
        e.metaType = b[p + 1];
        uint8_t len = b[p + 2];
        if (len >= 0x80) return bad("meta event length above 127");
        if (p + 3 + len > end) return bad("meta event runs past its track");
        e.data.assign(b.begin() + p + 3, b.begin() + p + 3 + len);
        p += 3 + len;
        running = 0;  // meta events end running status
        if (e.metaType == 0x2F) {
          tr.endTick = tick;
          break;
        }
      } else if (s >= 0xF0) {
        return bad("system exclusive or system event");
      } else {
        if (s & 0x80) {
          running = s;
          e.explicitStatus = true;
          ++p;
        } else if (running == 0) {
          return bad("running status without a status");
        }
        e.status = running;
        size_t need = (running & 0xE0) == 0xC0 ? 1 : 2;
        if (p + need > end) return bad("channel message runs past its track");
        for (size_t k = 0; k < need; ++k)
          if (b[p + k] & 0x80) return bad("status byte where a data byte belongs");
        e.data.assign(b.begin() + p, b.begin() + p + need);
        p += need;
      }
      tr.events.push_back(e);
    }
    if (tr.endTick < 0) return bad("track without end-of-track");
    if (p != end) return bad("bytes after end-of-track");
    f.tracks.push_back(std::move(tr));
  }
  if (p != b.size()) return bad("bytes after the last track");
  return f;
}

inline bool isNoteOn(const MidiEvent& e) { return (e.status & 0xF0) == 0x90 && e.data[1] > 0; }
inline bool isNoteOff(const MidiEvent& e) {
  return (e.status & 0xF0) == 0x80 || ((e.status & 0xF0) == 0x90 && e.data[1] == 0);
}
inline bool isLoopMarker(const MidiEvent& e) { return e.status == 0xB0 && e.data[0] == 111; }

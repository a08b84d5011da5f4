// What a song must keep to so that the game's looping player plays it cleanly.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "midi_reader.h"

// The tick of the loop marker, -1 without one; -2 when markers disagree.
inline int loopTick(const MidiFile& f) {
  int found = -1;
  for (const MidiTrack& tr : f.tracks)
    for (const MidiEvent& e : tr.events)
      if (isLoopMarker(e)) found = (found == -1 || found == e.tick) ? e.tick : -2;
  return found;
}

// Empty when the rules hold, else the first broken one.
inline std::string brokenLoopRule(const MidiFile& f) {
  if (!f.error.empty()) return f.error;
  if (f.tracks.empty()) return "no tracks";
  const int end = f.tracks[0].endTick;
  const int loop = loopTick(f);
  if (loop == -2) return "loop markers at different ticks";
  for (size_t t = 0; t < f.tracks.size(); ++t) {
    const MidiTrack& tr = f.tracks[t];
    if (tr.endTick != end) return "track " + std::to_string(t) + " ends at another tick";
    bool afterLoopSeen = false;
    bool afterMarker = false;
    // (channel, key) -> tick of the note-on still sounding
    std::map<std::pair<int, int>, int> sounding;
    for (const MidiEvent& e : tr.events) {
      if (e.status == 0xFF) continue;
      // The player returns here with whatever status the track used last.
      if ((loop >= 0 && e.tick >= loop && !afterLoopSeen) || afterMarker) {
        if (!e.explicitStatus) return "running status across the loop point in track " + std::to_string(t);
      }
      if (loop >= 0 && e.tick >= loop) afterLoopSeen = true;
      afterMarker = false;
      if (isLoopMarker(e)) {
        if (!e.explicitStatus) return "loop marker under running status";
        if (t != 0) return "loop marker outside track 0";
        afterMarker = true;
      }
      auto key = std::make_pair(e.status & 0x0F, int(e.data.size() > 0 ? e.data[0] : 0));
      if (isNoteOn(e)) {
        if (sounding.count(key)) return "note struck again while it sounds in track " + std::to_string(t);
        sounding[key] = e.tick;
      } else if (isNoteOff(e)) {
        auto it = sounding.find(key);
        if (it == sounding.end()) return "note-off without its note-on in track " + std::to_string(t);
        if (loop > 0 && it->second < loop && e.tick > loop) return "note held across the loop point";
        sounding.erase(it);
      }
    }
    if (!sounding.empty()) return "note still sounding at the end of track " + std::to_string(t);
  }
  return "";
}

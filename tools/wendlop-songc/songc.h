// The song compiler: a small text notation in, a format-1 Standard MIDI File out.
// The notation is described in assets/songs/README.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace songc {

struct SongResult {
  bool ok = false;
  std::string error;            // "name:line: message" when ok is false
  std::vector<uint8_t> midi;    // the file's bytes when ok is true
  int loopTick = -1;            // where the loop restarts, -1 without a loop point
  int endTick = 0;              // where every track ends
  int tempoBpm = 0;
  int division = 0;
};

// Compiles one song. `name` names the song in error messages and in the first
// track's name event. With `unroll` above 0 the result is a listening copy: no
// loop marker, the loop written out `unroll` times after the intro, so that an
// ordinary MIDI player plays what the game's looping player would.
SongResult compileSong(const std::string& text, const std::string& name, int unroll = 0);

// Shortest variable-length form, as the MIDI file format writes lengths and delta times.
void appendVarLen(std::vector<uint8_t>& out, uint32_t value);

}  // namespace songc

// The notation compiler on small songs: lengths, patterns, loop point, refusals.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "song_rules.h"
#include "songc.h"

namespace {

struct Played {
  int on, off, key, velocity;
};

// The notes of one track, in the order of their note-ons.
std::vector<Played> notesOf(const MidiTrack& tr) {
  std::vector<Played> out;
  for (const MidiEvent& e : tr.events) {
    if (isNoteOn(e)) out.push_back({e.tick, -1, e.data[0], e.data[1]});
    if (isNoteOff(e))
      for (Played& p : out)
        if (p.key == e.data[0] && p.off < 0) p.off = e.tick;
  }
  return out;
}

MidiFile compiled(const std::string& text, int unroll = 0) {
  songc::SongResult r = songc::compileSong(text, "t", unroll);
  EXPECT_TRUE(r.ok) << r.error;
  MidiFile f = readMidi(r.midi);
  EXPECT_EQ(f.error, "");
  return f;
}

TEST(SongCompiler, LengthsDotsTripletsTiesAndCarriedLength) {
  // division 96: quarter 96, eighth 48, dotted eighth 72, sixteenth 24, eighth triplet 32
  MidiFile f = compiled(
      "tempo 120 track a channel=1 gate=100\n"
      "  c4:4 d4:8 e4:8. f4:16 g4:8t a4 b4 r:8 | c5:2+4 r:8 d5 |\n"
      "end\n");
  ASSERT_EQ(f.tracks.size(), 2u);
  std::vector<Played> n = notesOf(f.tracks[1]);
  std::vector<std::vector<int>> expected = {{0, 96, 60},    {96, 144, 62},  {144, 216, 64}, {216, 240, 65},
                                            {240, 272, 67}, {272, 304, 69}, {304, 336, 71}, {384, 672, 72},
                                            {720, 768, 74}};
  ASSERT_EQ(n.size(), expected.size());
  for (size_t i = 0; i < n.size(); ++i) {
    EXPECT_EQ(n[i].on, expected[i][0]) << i;
    EXPECT_EQ(n[i].off, expected[i][1]) << i;
    EXPECT_EQ(n[i].key, expected[i][2]) << i;
  }
  EXPECT_EQ(f.tracks[1].endTick, 768);
}

TEST(SongCompiler, GateVelocityChordsAndDrumNames) {
  MidiFile f = compiled(
      "track a channel=10 gate=50 vel=90 [kick hat!40]:4 snare:4!120 vel=70 n42:2 end\n");
  ASSERT_EQ(f.tracks.size(), 2u);
  std::vector<Played> n = notesOf(f.tracks[1]);
  ASSERT_EQ(n.size(), 4u);
  EXPECT_EQ(n[0].key, 36);
  EXPECT_EQ(n[0].velocity, 90);
  EXPECT_EQ(n[0].off, 48);
  EXPECT_EQ(n[1].key, 42);
  EXPECT_EQ(n[1].velocity, 40);
  EXPECT_EQ(n[2].key, 38);
  EXPECT_EQ(n[2].velocity, 120);
  EXPECT_EQ(n[3].key, 42);
  EXPECT_EQ(n[3].on, 192);
  EXPECT_EQ(n[3].off, 288);
  EXPECT_EQ(n[3].velocity, 70);
  for (const MidiEvent& e : f.tracks[1].events)
    if (isNoteOn(e) || isNoteOff(e)) {
      EXPECT_EQ(e.status & 0x0F, 9);
    }
}

TEST(SongCompiler, PatternsRepeatTransposeAndNest) {
  MidiFile f = compiled(
      "pattern two c4:8 e4 end\n"
      "pattern four @two*2 end\n"
      "track a channel=1 @four @two+2 @two-12*2 end\n");
  ASSERT_EQ(f.tracks.size(), 2u);
  std::vector<Played> n = notesOf(f.tracks[1]);
  std::vector<int> keys, ticks;
  for (const Played& p : n) {
    keys.push_back(p.key);
    ticks.push_back(p.on);
  }
  EXPECT_EQ(keys, (std::vector<int>{60, 64, 60, 64, 62, 66, 48, 52, 48, 52}));
  EXPECT_EQ(ticks, (std::vector<int>{0, 48, 96, 144, 192, 240, 288, 336, 384, 432}));
}

TEST(SongCompiler, LoopMarkerWithItsOwnStatusAndCommonEnd) {
  MidiFile f = compiled(
      "tempo 125\n"
      "track a channel=1 c4:2 c4 | loop [c4 e4 g4]:2 c4:4 c4 |\n"
      "end\n"
      "track b channel=2 r:1 | loop c3:4 d3:4 e3:2 | end\n");
  ASSERT_EQ(f.tracks.size(), 3u);
  EXPECT_EQ(f.format, 1);
  EXPECT_EQ(f.division, 96);
  EXPECT_EQ(loopTick(f), 384);
  EXPECT_EQ(brokenLoopRule(f), "");
  // Track 0: name, meter, tempo 480000 us (125 per minute) at tick 0, then the marker.
  const MidiTrack& t0 = f.tracks[0];
  bool tempoAtZero = false;
  for (const MidiEvent& e : t0.events)
    if (e.status == 0xFF && e.metaType == 0x51)
      tempoAtZero = e.tick == 0 && e.data == std::vector<uint8_t>{0x07, 0x53, 0x00};
  EXPECT_TRUE(tempoAtZero);
  ASSERT_FALSE(t0.events.empty());
  const MidiEvent& marker = t0.events.back();
  EXPECT_TRUE(isLoopMarker(marker));
  EXPECT_TRUE(marker.explicitStatus);
  EXPECT_EQ(marker.data[1], 0);
  for (const MidiTrack& tr : f.tracks) EXPECT_EQ(tr.endTick, 768);
  // Every instrument track sets its program and volume at tick 0.
  for (size_t t = 1; t < f.tracks.size(); ++t) {
    bool program = false, volume = false;
    for (const MidiEvent& e : f.tracks[t].events) {
      if (e.tick != 0) continue;
      program |= (e.status & 0xF0) == 0xC0;
      volume |= (e.status & 0xF0) == 0xB0 && e.data[0] == 7;
    }
    EXPECT_TRUE(program && volume) << t;
  }
}

TEST(SongCompiler, UnrolledCopyRepeatsTheLoopWithoutMarker) {
  const char* text = "track a channel=1 c4:1 | loop d4:2 e4 | end\n";
  MidiFile f = compiled(text, 3);
  ASSERT_EQ(f.tracks.size(), 2u);
  EXPECT_EQ(loopTick(f), -1);
  std::vector<Played> n = notesOf(f.tracks[1]);
  std::vector<int> keys;
  for (const Played& p : n) keys.push_back(p.key);
  EXPECT_EQ(keys, (std::vector<int>{60, 62, 64, 62, 64, 62, 64}));
  EXPECT_EQ(f.tracks[0].endTick, 384 + 3 * 384);
  EXPECT_EQ(f.tracks[1].endTick, 384 + 3 * 384);
  EXPECT_EQ(brokenLoopRule(f), "");
}

TEST(SongCompiler, RefusesFaultySongsNamingTheLine) {
  struct Case {
    const char* text;
    const char* expected;  // part of the message, after "t:<line>: "
    int line;
  };
  const Case cases[] = {
      {"track a channel=1\n c4:4 |\nend", "bar line 96 ticks into a bar", 2},
      {"track a channel=1 c4:1 end\ntrack b channel=2\n c4:2 end", "lasts 192 ticks", 2},
      {"track a channel=1 c4:2. loop c4:4 end\ntrack b channel=2\n c4:1 end", "across the loop point", 3},
      {"track a channel=1\n @nothing end", "no pattern named 'nothing'", 2},
      {"pattern p @q end\npattern q\n @p end\ntrack a channel=1 @p end", "calls itself", 3},
      {"track a channel=1 loop c4:4\n loop end", "loop point at tick 96", 2},
      {"track a channel=1 c4:3 end", "bad length", 1},
      {"track a channel=1 c4:4", "without its 'end'", 1},
      {"track a channel=1 c4:4\n program=5 end", "before the first note", 2},
      {"track a c4:4 end", "has no channel", 1},
      {"track a channel=1 a9:4 end", "outside the MIDI range", 1},
      {"pattern p c4 end track a channel=1 @p+120 end", "outside the MIDI range", 1},
      {"track a channel=1 [c4 e4 end", "closing ']'", 1},
      {"track a channel=1 [c4 c4]:4 end", "struck again", 1},
      {"track a channel=1 volume=90 c4 end\ntrack b channel=1 volume=80 c4 end", "share channel 1", 2},
      {"track a channel=1 c4:4 loop end", "at or after the end", 1},
      {"track a channel=17 c4 end", "channel must be a number from 1 to 16", 1},
      {"division 24 track a channel=1 c4:64 end", "does not fit the division", 1},
      {"tempo 0 track a channel=1 c4 end", "tempo must be", 1},
      {"", "at least one track", 1},
  };
  for (const Case& c : cases) {
    songc::SongResult r = songc::compileSong(c.text, "t");
    EXPECT_FALSE(r.ok) << c.text;
    EXPECT_NE(r.error.find(c.expected), std::string::npos) << c.text << "\n -> " << r.error;
    EXPECT_EQ(r.error.rfind("t:" + std::to_string(c.line) + ": ", 0), 0u) << c.text << "\n -> " << r.error;
    EXPECT_TRUE(r.midi.empty());
  }
}

TEST(SongCompiler, RefusesSongsThatGrowBeyondReason) {
  // Nested repeats: a few lines asking for a billion notes, or for endless work on nothing.
  songc::SongResult r = songc::compileSong(
      "pattern a c4:64 end pattern b @a*999 end pattern c @b*999 end track t channel=1 @c*999 end", "t");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("too"), std::string::npos) << r.error;
  r = songc::compileSong(
      "pattern e end pattern f @e*999 end pattern g @f*999 end pattern h @g*999 end\n"
      "track t channel=1 @h*999 c4 end",
      "t");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("too many"), std::string::npos) << r.error;
  // Two hundred thousand notes: well within the limits on work, but not within the
  // 1 MiB that the game's player keeps for a song.
  r = songc::compileSong("pattern a c4:64 e4 g4 c5 end pattern b @a*250 end track t channel=1 @b*200 end", "t");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("do not fit"), std::string::npos) << r.error;
  r = songc::compileSong("pattern a c4:64 e4 g4 c5 end pattern b @a*250 end track t channel=1 @b*20 end", "t");
  EXPECT_TRUE(r.ok) << r.error;
}

TEST(SongCompiler, DamagedSourcesGiveAnErrorOrAValidFile) {
  std::ifstream in(std::string(WENDLOP_SOURCE_DIR) + "/assets/songs/a004pop3.song", std::ios::binary);
  const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(original.empty());
  const std::string alphabet = "abcdefgr0123456789:.!#+-*@[]|=; \n\t\x80\xff";
  std::mt19937 rng(20261207);
  int refused = 0;
  for (int round = 0; round < 300; ++round) {
    std::string text = original;
    int edits = 1 + int(rng() % 4);
    for (int k = 0; k < edits; ++k) {
      size_t at = rng() % text.size();
      switch (rng() % 3) {
        case 0: text[at] = alphabet[rng() % alphabet.size()]; break;
        case 1: text.erase(at, 1 + rng() % 8); break;
        default: text.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
      }
      if (text.empty()) text = "x";
    }
    songc::SongResult r = songc::compileSong(text, "d");
    if (r.ok) {
      MidiFile f = readMidi(r.midi);
      EXPECT_EQ(brokenLoopRule(f), "") << text;
    } else {
      ++refused;
      EXPECT_EQ(r.error.rfind("d:", 0), 0u) << r.error;
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(SongCompiler, VariableLengthsInShortestForm) {
  struct Case {
    uint32_t value;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {{0, {0x00}},
                        {127, {0x7F}},
                        {128, {0x81, 0x00}},
                        {16383, {0xFF, 0x7F}},
                        {16384, {0x81, 0x80, 0x00}},
                        {268435455, {0xFF, 0xFF, 0xFF, 0x7F}}};
  for (const Case& c : cases) {
    std::vector<uint8_t> out;
    songc::appendVarLen(out, c.value);
    EXPECT_EQ(out, c.bytes) << c.value;
  }
}

}  // namespace

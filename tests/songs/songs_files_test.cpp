// The four committed songs keep to what the game's player reads and loops cleanly.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "song_rules.h"

namespace {

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Expect {
  const char* name;
  double minLoopSeconds, maxLoopSeconds;
};

class CommittedSong : public ::testing::TestWithParam<Expect> {};

TEST_P(CommittedSong, KeepsToThePlayersSubsetAndLoopsCleanly) {
  const Expect& x = GetParam();
  std::vector<uint8_t> bytes = readFile(std::string(WENDLOP_SOURCE_DIR) + "/data/midi/" + x.name + ".mid");
  ASSERT_FALSE(bytes.empty()) << x.name;
  // The player reads the track count from one byte and keeps all track data in 1 MiB.
  ASSERT_LT(bytes.size(), 1u << 20);
  MidiFile f = readMidi(bytes);
  ASSERT_EQ(f.error, "") << x.name;
  EXPECT_EQ(f.format, 1);
  ASSERT_GE(f.tracks.size(), 3u);
  ASSERT_LT(f.tracks.size(), 256u);
  EXPECT_EQ(brokenLoopRule(f), "") << x.name;

  // Tempo first thing in track 0; its whole-number reading is the tempo we meant.
  int usPerQuarter = 0;
  for (const MidiEvent& e : f.tracks[0].events)
    if (e.status == 0xFF && e.metaType == 0x51 && e.tick == 0 && e.data.size() == 3)
      usPerQuarter = (e.data[0] << 16) | (e.data[1] << 8) | e.data[2];
  ASSERT_GT(usPerQuarter, 0) << x.name;
  int bpm = 60000000 / usPerQuarter;
  EXPECT_EQ(60000000 / bpm, usPerQuarter) << "tempo is not a whole number per minute";

  // Every channel that sounds has its program and volume set at tick 0
  // (a reset comes before each song, so nothing is left from the last one).
  std::set<int> programmed, voiced, sounding;
  for (const MidiTrack& tr : f.tracks)
    for (const MidiEvent& e : tr.events) {
      if (e.status == 0xFF) continue;
      int ch = e.status & 0x0F;
      if (e.tick == 0 && (e.status & 0xF0) == 0xC0) programmed.insert(ch);
      if (e.tick == 0 && (e.status & 0xF0) == 0xB0 && e.data[0] == 7) voiced.insert(ch);
      if (isNoteOn(e)) sounding.insert(ch);
    }
  for (int ch : sounding) {
    EXPECT_TRUE(programmed.count(ch)) << x.name << " channel " << ch + 1;
    EXPECT_TRUE(voiced.count(ch)) << x.name << " channel " << ch + 1;
  }
  EXPECT_TRUE(sounding.count(9)) << x.name << " has no drums on channel 10" ;

  int loop = loopTick(f);
  ASSERT_GE(loop, 0) << x.name << " has no loop point";
  double loopSeconds = double(f.tracks[0].endTick - loop) * 60.0 / (double(f.division) * bpm);
  EXPECT_GE(loopSeconds, x.minLoopSeconds) << x.name;
  EXPECT_LE(loopSeconds, x.maxLoopSeconds) << x.name;
}

// The game-over song is the one without drums; its check is loosened below.
INSTANTIATE_TEST_SUITE_P(Songs, CommittedSong,
                         ::testing::Values(Expect{"a002pop1", 60, 90}, Expect{"a004pop3", 20, 60},
                                           Expect{"a005pop4", 15, 90}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CommittedSongs, GameOverSongIsQuietEightBarsOfLoop) {
  std::vector<uint8_t> bytes = readFile(std::string(WENDLOP_SOURCE_DIR) + "/data/midi/a003pop2.mid");
  MidiFile f = readMidi(bytes);
  ASSERT_EQ(f.error, "");
  EXPECT_EQ(brokenLoopRule(f), "");
  int loop = loopTick(f);
  ASSERT_GE(loop, 0);
  EXPECT_EQ(f.tracks[0].endTick - loop, 8 * 4 * f.division);
  for (const MidiTrack& tr : f.tracks)
    for (const MidiEvent& e : tr.events) {
      if (!isNoteOn(e)) continue;
      EXPECT_NE(e.status & 0x0F, 9) << "drums in the game-over song";
      EXPECT_LE(e.data[1], 100) << "a loud note in the quiet song";
    }
}

TEST(CommittedSongs, ReaderRefusesWhatThePlayerWouldMisread) {
  std::vector<uint8_t> base = readFile(std::string(WENDLOP_SOURCE_DIR) + "/data/midi/a003pop2.mid");
  ASSERT_EQ(readMidi(base).error, "");
  // The first track's name event sits right after the 22 bytes of headers and its delta time.
  ASSERT_EQ(base[23], 0xFF);
  std::vector<uint8_t> longMeta = base;
  longMeta[25] = 0x80;
  EXPECT_NE(readMidi(longMeta).error, "");
  std::vector<uint8_t> cut(base.begin(), base.end() - 1);
  EXPECT_NE(readMidi(cut).error, "");
  std::vector<uint8_t> padded = base;
  padded.insert(padded.begin() + 22, 0x80);  // a delta time not in shortest form
  padded[21] += 1;                            // the track's length grows with it
  EXPECT_NE(readMidi(padded).error, "");
}

}  // namespace

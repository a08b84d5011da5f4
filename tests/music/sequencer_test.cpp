#include "music_test_support.h"

using Sequencer = MusicTest;

static const Bytes endOfTrack = {0x00, 0xFF, 0x2F, 0x00};

static Bytes track(std::initializer_list<uint8_t> events, bool withEnd = true) {
  Bytes t(events);
  if (withEnd) t.insert(t.end(), endOfTrack.begin(), endOfTrack.end());
  return t;
}

TEST_F(Sequencer, OneNoteSongRepeatsEvery49Steps) {
  ASSERT_TRUE(loadBytes(makeSong({{0x00, 0x90, 0x3C, 0x64, 0x30, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00}})));
  step(1);
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"1: 90 3C 64"}));
  step(47);
  EXPECT_TRUE(sentLines().empty());
  step(1);  // step 49: the note-off under running status, then the end and the rewind
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"49: 90 3C 00"}));
  EXPECT_EQ(sequencer.songTick, 0);
  step(1);
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"50: 90 3C 64"}));
  step(49);
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"98: 90 3C 00", "99: 90 3C 64"}));
}

TEST_F(Sequencer, TickArithmetic) {
  const Bytes longTrack = track({0x00, 0x90, 0x3C, 0x64, 0x8F, 0x00, 0x80, 0x3C, 0x00});
  ASSERT_TRUE(loadBytes(makeSong({longTrack}, 48)));
  for (int i = 1; i <= 20; ++i) {
    step(1);
    EXPECT_EQ(sequencer.songTick, i);
    EXPECT_EQ(sequencer.tickFraction, 0);
  }
  ASSERT_TRUE(unloadSong());

  ASSERT_TRUE(loadBytes(makeSong({longTrack}, 480)));
  sequencer.tempoBpm = 120;
  const int expected[] = {9, 19, 28, 38, 48, 57, 67, 76, 86, 96};
  for (int tick : expected) {
    step(1);
    EXPECT_EQ(sequencer.songTick, tick);
  }
  EXPECT_EQ(sequencer.tickFraction, 0);  // ten steps of 57,600 units are exactly 96 ticks
}

TEST_F(Sequencer, TickZeroEventsWaitForTheClockToPassZero) {
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xC3, 0x05})}, 24)));  // 3,000 units a step
  step(1);
  EXPECT_TRUE(sentLines().empty());
  step(1);
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"2: C3 05"}));
}

TEST_F(Sequencer, TracksRunInOrderWithinAStep) {
  // Ten ticks a step: all of track 0's due events go before track 1's.
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0x91, 0x40, 0x64, 0x05, 0x91, 0x41, 0x64}),
                                  track({0x00, 0x92, 0x50, 0x64, 0x03, 0x92, 0x51, 0x64})},
                                 480)));
  step(1);
  EXPECT_EQ(sentLines(),
            (std::vector<std::string>{"1: 91 40 64", "1: 91 41 64", "1: 92 50 64", "1: 92 51 64"}));
}

TEST_F(Sequencer, TempoEventsAnywhere) {
  struct Case {
    uint32_t microseconds;
    int bpm;
  };
  for (const Case c : {Case{500000, 120}, Case{1000000, 60}, Case{600001, 99}, Case{480000, 125}}) {
    sequencer.tempoBpm = 125;
    currentStep = 0;
    const uint8_t a = c.microseconds >> 16, b = c.microseconds >> 8, d = c.microseconds;
    // The tempo sits in track 1; the event after it must still be read right.
    ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x00}),
                                    track({0x00, 0xFF, 0x51, 0x03, a, b, d, 0x00, 0xC5, 0x09, 0x60, 0xC5, 0x0A})})));
    step(1);
    EXPECT_EQ(sequencer.tempoBpm, c.bpm) << c.microseconds;
    EXPECT_EQ(sentLines(), (std::vector<std::string>{"1: 90 3C 64", "1: C5 09"}));
    EXPECT_EQ(song.trackPos[1], 10);
    ASSERT_TRUE(unloadSong());
  }
}

TEST_F(Sequencer, TempoZeroOrCutShortKeepsTheTempo) {
  sequencer.tempoBpm = 125;
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x01})})));
  step(1);
  EXPECT_EQ(sequencer.tempoBpm, 125);
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"1: C0 01"}));
  ASSERT_TRUE(unloadSong());
  ASSERT_TRUE(loadBytes(makeSong({{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1}})));
  poisonAfterTracks();
  step(1);
  EXPECT_EQ(sequencer.tempoBpm, 125);
}

TEST_F(Sequencer, TempoIsNeverResetByALoadOrARewind) {
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20})})));
  step(1);
  EXPECT_EQ(sequencer.tempoBpm, 120);
  ASSERT_TRUE(unloadSong());
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xC0, 0x01})})));
  rewindSong();
  EXPECT_EQ(sequencer.tempoBpm, 120);
}

TEST_F(Sequencer, RunningStatusAfterAProgramChangeTakesOneDataByte) {
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xC1, 0x05, 0x00, 0x06, 0x00, 0x07})})));
  step(1);
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"1: C1 05", "1: C1 06", "1: C1 07"}));
}

TEST_F(Sequencer, RunningStatusSurvivesALoad) {
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0x93, 0x3C, 0x64})})));
  step(1);
  ASSERT_TRUE(unloadSong());
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0x3E, 0x50})})));
  sentLines();
  step(1);
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"2: 93 3E 50"}));
}

TEST_F(Sequencer, LoopMarkerOnlyOnChannel0WithItsStatusGiven) {
  // On channel 1, and under running status, controller 111 is just a controller.
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xB1, 0x6F, 0x00, 0x00, 0xB0, 0x07, 0x64, 0x00, 0x6F, 0x05})})));
  step(1);
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"1: B1 6F 00", "1: B0 07 64", "1: B0 6F 05"}));
  EXPECT_FALSE(sequencer.loopSeen);
}

TEST_F(Sequencer, SongReturnsToTheStateJustAfterTheMarker) {
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xC0, 0x01, 0x00, 0xB0, 0x6F, 0x7F, 0x10, 0x90, 0x3C, 0x64, 0x10,
                                         0x80, 0x3C, 0x00})})));
  step(80);
  // The marker is never sent; what lies before it plays once.
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"1: C0 01", "17: 90 3C 64", "33: 80 3C 00", "49: 90 3C 64",
                                                   "65: 80 3C 00"}));
  EXPECT_TRUE(sequencer.loopSeen);
}

TEST_F(Sequencer, LoopPointKeepsTracksThatHadNotYetRunInTheMarkersStep) {
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xC0, 0x05, 0x04, 0x90, 0x30, 0x64}),
                                  {0x00, 0xB0, 0x6F, 0x00, 0x08, 0xFF, 0x2F, 0x00},
                                  track({0x00, 0xC2, 0x07, 0x04, 0x92, 0x40, 0x64})})));
  step(17);
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"1: C0 05", "1: C2 07", "5: 90 30 64", "5: 92 40 64",
                                                   // back at the marker: track 2 had not run yet
                                                   "10: C2 07", "13: 90 30 64", "13: 92 40 64"}));
}

TEST_F(Sequencer, ATrackWithoutAnEndIsCountedOffOnce) {
  ASSERT_TRUE(loadBytes(makeSong({{0x00, 0x90, 0x3C, 0x64, 0x05, 0x80, 0x3C, 0x00},
                                  track({0x00, 0x91, 0x40, 0x64, 0x0A, 0x81, 0x40, 0x00})})));
  step(12);
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"1: 90 3C 64", "1: 91 40 64", "6: 80 3C 00", "11: 81 40 00",
                                                   "12: 90 3C 64", "12: 91 40 64"}));
}

TEST_F(Sequencer, ZeroLengthMetaEventTakesThreeBytes) {
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xFF, 0x01, 0x00, 0x05, 0xC0, 0x01})})));
  step(1);
  EXPECT_EQ(song.trackPos[0], 4);
  EXPECT_EQ(song.trackTime[0], 0);
  step(5);
  EXPECT_EQ(sentLines(), (std::vector<std::string>{"6: C0 01"}));
}

TEST_F(Sequencer, SystemExclusiveIsSentWholeOrSkippedWhole) {
  Bytes longSysex = {0x00, 0xF0, 0x87, 0x7E};  // 1022 bytes: fits the scratch buffer
  longSysex.resize(4 + 1022, 0x11);
  longSysex.back() = 0xF7;
  Bytes tooLong = {0x00, 0xF0, 0x87, 0x7F};  // 1023 bytes: skipped
  tooLong.resize(4 + 1023, 0x22);
  Bytes events = {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x00, 0xF0, 0x00};
  events.insert(events.end(), longSysex.begin(), longSysex.end());
  events.insert(events.end(), tooLong.begin(), tooLong.end());
  events.insert(events.end(), {0x00, 0xC4, 0x02});
  events.insert(events.end(), endOfTrack.begin(), endOfTrack.end());
  ASSERT_TRUE(loadBytes(makeSong({events})));
  step(1);
  const auto sent = takeSent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(hex(sent[0].bytes), "F0 7E 7F 09 01 F7");
  EXPECT_EQ(hex(sent[1].bytes), "F0");
  EXPECT_EQ(sent[2].bytes.size(), 1023u);
  EXPECT_EQ(sent[2].bytes.front(), 0xF0);
  EXPECT_EQ(sent[2].bytes.back(), 0xF7);
  EXPECT_EQ(hex(sent[3].bytes), "C4 02");
}

// Each of these tracks is cut short or malformed; it must end as an overrun,
// send nothing more, and never read past its own data.
TEST_F(Sequencer, HostileTracksEndAsOverruns) {
  struct Case {
    const char* name;
    Bytes data;
    int sentBeforeTheFault;
  };
  std::vector<Case> cases = {
      {"note cut short", {0x00, 0xC0, 0x01, 0x00, 0x90, 0x3C}, 1},
      {"program change missing its data", {0x00, 0xC0}, 0},
      {"delta time unterminated", {0x00, 0xC0, 0x01, 0x81, 0x82}, 1},
      {"delta time but no event", {0x00, 0xC0, 0x01, 0x00}, 1},
      {"negative delta time", {0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0xC0, 0x01}, 0},
      {"data byte with no status ever", {0x00, 0x3C, 0x64}, 0},
      {"meta cut short", {0x00, 0xFF, 0x01}, 0},
      {"meta data past the end", {0x00, 0xFF, 0x01, 0x10, 0x41, 0x42}, 0},
      {"end of track past the end", {0x00, 0xFF, 0x2F, 0x05}, 0},
      {"sysex length unterminated", {0x00, 0xF0, 0x81}, 0},
      {"sysex without a length", {0x00, 0xF0}, 0},
      {"sysex data past the end", {0x00, 0xF0, 0x10, 0x01, 0x02}, 0},
      {"sysex length negative", {0x00, 0xF0, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0xF7}, 0},
  };
  for (int status = 0xF1; status <= 0xFE; ++status) {
    cases.push_back({"system status", {0x00, static_cast<uint8_t>(status), 0x01, 0x00, 0xC0, 0x01}, 0});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A second, longer track keeps the song from rewinding, so the fault's
    // track state can be seen; the faulty track is last, right before the
    // poisoned rest of the buffer.
    ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xC9, 0x00, 0x60, 0x89, 0x30, 0x00}), c.data})));
    song.runningStatus[1] = 0;
    poisonAfterTracks();
    step(3);
    EXPECT_EQ(song.trackState[1], TrackOverrun);
    EXPECT_LE(song.trackPos[1], song.trackLength[1]);
    EXPECT_EQ(song.activeTracks, 1);
    EXPECT_EQ(takeSent().size(), static_cast<size_t>(1 + c.sentBeforeTheFault));
    unpoisonSong();
    ASSERT_TRUE(unloadSong());
  }
}

TEST_F(Sequencer, PaddedQuantitiesAreReadOutOfStepButInsideTheTrack) {
  // A delta written as 80 00 moves the position by one byte only; the 00
  // after it is then taken as the event. Whatever follows, no read leaves
  // the track.
  ASSERT_TRUE(loadBytes(makeSong({{0x80, 0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x80}})));
  song.runningStatus[0] = 0x90;
  poisonAfterTracks();
  step(200);
  EXPECT_LE(song.trackPos[0], song.trackLength[0]);
}

TEST_F(Sequencer, ExtremeDivisionAndTempoStayDefined) {
  // 65,535 ticks a quarter at 60,000,000 a minute: hundreds of millions of
  // ticks a step, and still no overflow; the song ends and starts again.
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x01, 0x00, 0xC0, 0x01, 0x8F, 0xFF,
                                         0xFF, 0x7F, 0xC0, 0x02})},
                                 0xFFFF)));
  step(50);
  EXPECT_EQ(sequencer.tempoBpm, 60000000);
  EXPECT_GE(sentLines().size(), 4u);
  sequencer.tempoBpm = 125;
}

TEST_F(Sequencer, StepsNothingWhileNotPlaying) {
  ASSERT_TRUE(loadBytes(makeSong({track({0x00, 0xC0, 0x01})})));
  advanceClock();
  EXPECT_EQ(sequencer.songTick, 0);
  EXPECT_TRUE(sentLines().empty());
}

// Random tracks: whatever the bytes, the sequencer stays inside the data.
TEST_F(Sequencer, RandomTracksNeverLeaveTheirData) {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<uint8_t>(seed >> 24);
  };
  for (int round = 0; round < 300; ++round) {
    std::vector<Bytes> tracks(1 + next() % 3);
    for (Bytes& t : tracks) {
      t.resize(next() % 48);
      for (uint8_t& b : t) {
        const uint8_t r = next();
        // Lean on the bytes that matter: small deltas, statuses, meta and sysex.
        b = (r & 3) == 0 ? 0x00 : (r & 7) == 1 ? 0xFF : (r & 7) == 2 ? 0xF0 : next();
      }
    }
    ASSERT_TRUE(loadBytes(makeSong(tracks, 1 + next())));
    song.runningStatus[0] = next() & 1 ? 0 : 0x90;
    poisonAfterTracks();
    step(100);
    for (int t = 0; t < song.trackCount; ++t) EXPECT_LE(song.trackPos[t], song.trackLength[t]);
    unpoisonSong();
    ASSERT_TRUE(unloadSong());
    takeSent();
  }
}

#include "music_test_support.h"

TEST(ByteRoutines, DecodeVarLenReadsTheShortestForms) {
  const Bytes cases[] = {{0x00}, {0x7F}, {0x81, 0x00}, {0xFF, 0x7F}, {0x81, 0x80, 0x00}, {0xFF, 0xFF, 0xFF, 0x7F}};
  const int32_t expected[] = {0, 127, 128, 16383, 16384, 268435455};
  for (size_t i = 0; i < std::size(cases); ++i) {
    int32_t value = 0;
    EXPECT_EQ(decodeVarLen(cases[i].data(), static_cast<int32_t>(cases[i].size()), &value),
              static_cast<int>(cases[i].size())) << i;
    EXPECT_EQ(value, expected[i]) << i;
  }
}

TEST(ByteRoutines, LongQuantitiesWrapAndComeOutSigned) {
  // Five bytes: 0x0F << 28 overflows 32 bits and wraps, no undefined arithmetic.
  const Bytes five = {0x8F, 0xFF, 0xFF, 0xFF, 0x7F};
  int32_t value = 0;
  EXPECT_EQ(decodeVarLen(five.data(), 5, &value), 5);
  EXPECT_EQ(value, -1);
}

TEST(ByteRoutines, DecodeVarLenNeverReadsPastWhatIsAvailable) {
  const Bytes unterminated = {0x81, 0x82, 0x83};
  int32_t value = 0;
  EXPECT_EQ(decodeVarLen(unterminated.data(), 3, &value), 0);
  EXPECT_EQ(decodeVarLen(unterminated.data(), 0, &value), 0);
  const Bytes two = {0x81, 0x00, 0x55};
  EXPECT_EQ(decodeVarLen(two.data(), 2, &value), 2);
  EXPECT_EQ(value, 128);
}

TEST(ByteRoutines, VarLenSizeFollowsTheValue) {
  EXPECT_EQ(varLenSize(0), 1);
  EXPECT_EQ(varLenSize(127), 1);
  EXPECT_EQ(varLenSize(128), 2);
  EXPECT_EQ(varLenSize(16383), 2);
  EXPECT_EQ(varLenSize(16384), 3);
  EXPECT_EQ(varLenSize(2097151), 3);
  EXPECT_EQ(varLenSize(2097152), 4);
  EXPECT_EQ(varLenSize(-5), 1);
}

TEST(ByteRoutines, TagEqualsComparesFourBytes) {
  const uint8_t bytes[] = {'M', 'T', 'r', 'k', 'x'};
  EXPECT_TRUE(tagEquals(bytes, "MTrk"));
  EXPECT_FALSE(tagEquals(bytes, "MThd"));
  EXPECT_FALSE(tagEquals(bytes, "Mtrk"));
}

TEST(ByteRoutines, AppendBytesCopiesZerosAndTerminates) {
  uint8_t target[8] = {0xF0, 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  const uint8_t source[] = {0x41, 0x00, 0x7F};
  appendBytes(target, source, 3);
  EXPECT_EQ(Bytes(target, target + 6), (Bytes{0xF0, 0x41, 0x00, 0x7F, 0x00, 0xEE}));
  uint8_t untouched[3] = {0x01, 0, 0xEE};
  appendBytes(untouched, source, 0);
  appendBytes(untouched, source, -4);
  EXPECT_EQ(Bytes(untouched, untouched + 3), (Bytes{0x01, 0x00, 0xEE}));
}

using Loader = MusicTest;

static const Bytes oneNote = {0x00, 0x90, 0x3C, 0x64, 0x30, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};

TEST_F(Loader, LoadsTablesAndLeavesTheSongRewound) {
  const Bytes second = {0x00, 0xFF, 0x2F, 0x00};
  ASSERT_TRUE(loadBytes(makeSong({oneNote, second}, 96)));
  EXPECT_TRUE(musicPlayer.songLoaded);
  EXPECT_EQ(song.trackCount, 2);
  EXPECT_EQ(song.division, 96);
  EXPECT_EQ(song.trackStart[0], 0);
  EXPECT_EQ(song.trackLength[0], 11);
  EXPECT_EQ(song.trackStart[1], 11);
  EXPECT_EQ(song.trackStart[2], 15);
  EXPECT_EQ(song.activeTracks, 2);
  EXPECT_EQ(song.activeTracksAtLoad, 2);
  EXPECT_EQ(Bytes(song.songBuffer, song.songBuffer + 15), [&] {
    Bytes all = oneNote;
    all.insert(all.end(), second.begin(), second.end());
    return all;
  }());
  for (int t = 0; t < 2; ++t) {
    EXPECT_EQ(song.trackState[t], TrackActive);
    EXPECT_EQ(song.trackPos[t], 0);
    EXPECT_EQ(song.trackTime[t], 0);
  }
  EXPECT_EQ(sequencer.songTick, 0);
}

TEST_F(Loader, A128BytePrefixLoadsLikeTheBareFile) {
  Bytes prefixed(128, 0xAB);
  const Bytes bare = makeSong({oneNote});
  prefixed.insert(prefixed.end(), bare.begin(), bare.end());
  ASSERT_TRUE(loadBytes(prefixed));
  EXPECT_EQ(song.trackCount, 1);
  EXPECT_EQ(Bytes(song.songBuffer, song.songBuffer + oneNote.size()), oneNote);
  // A prefix of any other length is not looked for.
  ASSERT_TRUE(unloadSong());
  Bytes shifted(100, 0);
  shifted.insert(shifted.end(), bare.begin(), bare.end());
  EXPECT_FALSE(loadBytes(shifted));
}

TEST_F(Loader, OnlyTheLowByteOfTheTrackCountCounts) {
  ASSERT_TRUE(loadBytes(makeSong({oneNote}, 48, 0x0101)));
  EXPECT_EQ(song.trackCount, 1);
}

TEST_F(Loader, ZeroTracksLoadsButLeavesNothingToPlay) {
  EXPECT_TRUE(loadBytes(makeSong({}, 48, 0)));
  EXPECT_FALSE(musicPlayer.songLoaded);
  EXPECT_FALSE(playSong());
  EXPECT_FALSE(unloadSong());
  EXPECT_TRUE(loadBytes(makeSong({oneNote})));  // nothing held, so the next load goes ahead
}

TEST_F(Loader, DivisionWithBit15IsTakenAsTicks) {
  ASSERT_TRUE(loadBytes(makeSong({oneNote}, 0xE728)));
  EXPECT_EQ(song.division, 0xE728);
}

TEST_F(Loader, TrackDataUpToOneMebibyteLoadsOneByteMoreFails) {
  Bytes big(SongBufferSize - 4, 0);
  ASSERT_TRUE(loadBytes(makeSong({big, {0x00, 0xFF, 0x2F, 0x00}}), "exact.mid"));
  EXPECT_EQ(song.trackStart[2], SongBufferSize);
  ASSERT_TRUE(unloadSong());
  EXPECT_FALSE(loadBytes(makeSong({big, {0x00, 0xFF, 0x2F, 0x00, 0x00}}), "over.mid"));
  EXPECT_FALSE(musicPlayer.songLoaded);
}

TEST_F(Loader, AHugeDeclaredLengthFailsWithoutOverflow) {
  Bytes file = makeSong({oneNote, oneNote});
  // Second track claims 0xFFFFFFF0 bytes: the running sum must not wrap.
  const size_t secondLength = 14 + 8 + oneNote.size() + 4;
  file[secondLength] = 0xFF, file[secondLength + 1] = 0xFF, file[secondLength + 2] = 0xFF, file[secondLength + 3] = 0xF0;
  EXPECT_FALSE(loadBytes(file));
  EXPECT_FALSE(musicPlayer.songLoaded);
}

TEST_F(Loader, BrokenFilesFailAndLeaveNoSong) {
  const Bytes good = makeSong({oneNote, oneNote});
  struct Case {
    const char* name;
    Bytes bytes;
  };
  std::vector<Case> cases = {
      {"empty", {}},
      {"no header tag", Bytes(good.begin() + 1, good.end())},
      {"header cut short", Bytes(good.begin(), good.begin() + 13)},
      {"track header cut short", Bytes(good.begin(), good.begin() + 14 + 8 + 11 + 5)},
      {"track data cut short", Bytes(good.begin(), good.end() - 1)},
      {"fewer tracks than stated", makeSong({oneNote}, 48, 2)},
      {"unknown chunk before a track", [] {
         Bytes f = makeSong({oneNote});
         const Bytes junk = {'J', 'U', 'N', 'K', 0, 0, 0, 0};
         f.insert(f.begin() + 14, junk.begin(), junk.end());
         return f;
       }()},
      {"longer header chunk", [] {
         Bytes f = makeSong({oneNote});
         f[7] = 8;
         f.insert(f.begin() + 14, {0, 0});
         return f;
       }()},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(loadBytes(c.bytes, "broken.mid")) << c.name;
    EXPECT_FALSE(musicPlayer.songLoaded) << c.name;
    EXPECT_FALSE(playSong()) << c.name;
    EXPECT_FALSE(unloadSong()) << c.name;
  }
  EXPECT_FALSE(loadSong(tempPath("missing.mid").c_str()));
  EXPECT_FALSE(loadSong(std::filesystem::temp_directory_path().c_str()));  // a folder
  EXPECT_TRUE(loadBytes(good));  // and a good file still loads after them
}

// A song that cannot be played is named once on stderr, with what is wrong.
TEST_F(Loader, EachBrokenSongIsNamedOnceWithItsReason) {
  const Bytes good = makeSong({oneNote, oneNote});
  auto said = [&](const Bytes* bytes, const std::string& name) {
    const std::string path = bytes ? writeTemp(name, *bytes) : tempPath(name);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loadSong(path.c_str())) << name;
    const std::string line = testing::internal::GetCapturedStderr();
    const std::string prefix = "wendlop: song not played: " + path + " ";
    EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
    return line.size() > prefix.size() ? line.substr(prefix.size()) : line;
  };
  EXPECT_EQ(said(nullptr, "gone.mid"), "is missing\n");
  const Bytes text = {'h', 'e', 'l', 'l', 'o'};
  EXPECT_EQ(said(&text, "text.mid"), "is not a Standard MIDI File (no MThd header)\n");
  const Bytes cut(good.begin(), good.end() - 1);
  EXPECT_EQ(said(&cut, "cut.mid"), "is cut short in track 2 of 2\n");
  const Bytes lost = makeSong({oneNote}, 48, 2);
  EXPECT_EQ(said(&lost, "lost.mid"), "is cut short or damaged: track 2 of 2 has no MTrk header\n");
  const Bytes big = makeSong({Bytes(SongBufferSize + 1, 0)});
  EXPECT_EQ(said(&big, "big.mid"), "has more track data than the 1 MiB a song may hold\n");

  // Once per file: the title loads its song at every return.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(loadSong(writeTemp("cut.mid", cut).c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(loadBytes(good));
}

TEST_F(Loader, ASecondLoadIsRefusedAndLeavesTheSongAsItWas) {
  ASSERT_TRUE(loadBytes(makeSong({oneNote}, 48)));
  step(3);
  const int pos = song.trackPos[0];
  EXPECT_FALSE(loadBytes(makeSong({oneNote, oneNote}, 96), "other.mid"));
  EXPECT_EQ(song.trackCount, 1);
  EXPECT_EQ(song.division, 48);
  EXPECT_EQ(song.trackPos[0], pos);
  EXPECT_TRUE(unloadSong());
  EXPECT_FALSE(unloadSong());
}

TEST(MusicPlayerWithoutOutput, RefusesEverythingAndSaysWhyOnce) {
  sysSetHeadless(true);
  sysMidiSelect(SysMidiOffline);
  // The one the player named, not another found in its place, and why it
  // will not do.
  setenv("WENDLOP_SOUNDFONT", tempPath("no-such.sf2").c_str(), 1);
  testing::internal::CaptureStderr();
  constructMusicPlayer();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(musicPlayer.ready);
  EXPECT_EQ(said, "wendlop: no music: WENDLOP_SOUNDFONT=" + tempPath("no-such.sf2") + " does not exist\n");
  teardownMusicPlayer();
  const std::string notAFont = writeTemp("not-a-font.sf2", Bytes(64, 'x'));
  setenv("WENDLOP_SOUNDFONT", notAFont.c_str(), 1);
  testing::internal::CaptureStderr();
  constructMusicPlayer();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "wendlop: no music: WENDLOP_SOUNDFONT=" + notAFont + " is not a SoundFont\n");
  unsetenv("WENDLOP_SOUNDFONT");
  EXPECT_FALSE(musicPlayer.ready);
  const std::string path = writeTemp("fine.mid", makeSong({oneNote}));
  EXPECT_FALSE(loadSong(path.c_str()));
  EXPECT_FALSE(playSong());
  EXPECT_FALSE(stopSong());
  EXPECT_FALSE(unloadSong());
  teardownMusicPlayer();
  sysMidiSelect(SysMidiRecorder);
}

// A SoundFont whose header is right but whose body is damaged: one line of
// ours with the synthesizer's reason, and nothing from the libraries beneath.
TEST(MusicPlayerWithoutOutput, ADamagedSoundFontIsNamedInOneLineOfOurs) {
  sysSetHeadless(true);
  sysMidiSelect(SysMidiOffline);
  Bytes font = {'R', 'I', 'F', 'F', 0x40, 0, 0, 0, 's', 'f', 'b', 'k'};
  font.resize(200, 0x5A);
  const std::string path = writeTemp("damaged.sf2", font);
  setenv("WENDLOP_SOUNDFONT", path.c_str(), 1);
  testing::internal::CaptureStderr();
  constructMusicPlayer();
  const std::string said = testing::internal::GetCapturedStderr();
  unsetenv("WENDLOP_SOUNDFONT");
  EXPECT_FALSE(musicPlayer.ready);
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_EQ(said.rfind("wendlop: no music: cannot load the SoundFont " + path + " (", 0), 0u) << said;
  EXPECT_EQ(said.find("CRITICAL"), std::string::npos) << said;
  teardownMusicPlayer();
  sysMidiSelect(SysMidiRecorder);
}

TEST(MusicPlayerObserver, SeesEveryCallReadyOrNot) {
  static std::vector<std::string> seen;
  seen.clear();
  musicObserver = [](const char* operation, const char* argument) {
    seen.push_back(std::string(operation) + (argument ? std::string(" ") + argument : ""));
  };
  loadSong("midi/none.mid");
  playSong();
  stopSong();
  unloadSong();
  musicObserver = nullptr;
  EXPECT_EQ(seen, (std::vector<std::string>{"load midi/none.mid", "play", "stop", "unload"}));
}

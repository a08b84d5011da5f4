// Songs that nobody here wrote: the openmsx set that Debian packages for
// another game. Every one must load and play through a loop, and no track may
// be read past its end.
#include <algorithm>
#include <functional>

#include "music_test_support.h"

static std::vector<std::string> openmsxSongs() {
  std::vector<std::string> paths;
  const std::filesystem::path dir = "/usr/share/games/openttd/baseset/openmsx";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error))
    if (entry.path().extension() == ".mid") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

using RealFiles = MusicTest;

// Steps until the song has gone back (rewound or to its loop point), at most `limit` steps.
static long stepsToLoop(long limit, const std::function<void()>& stepOnce) {
  for (long n = 1; n <= limit; ++n) {
    // Without a jump back, the clock moves exactly as the step's arithmetic says.
    const int64_t expected = sequencer.songTick + (sequencer.tickFraction + int64_t{song.division} * sequencer.tempoBpm) / 6000;
    stepOnce();
    if (sequencer.songTick != expected) return n;
  }
  return -1;
}

TEST_F(RealFiles, OpenmsxSongsLoadAndLoop) {
  const auto paths = openmsxSongs();
  if (paths.empty()) GTEST_SKIP() << "openttd-openmsx is not installed";
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(loadSong(path.c_str()));
    poisonAfterTracks();
    const long steps = stepsToLoop(100000, [this] { step(1); });
    EXPECT_GT(steps, 1000);  // a real song lasts longer than ten seconds
    for (int t = 0; t < song.trackCount; ++t) EXPECT_LE(song.trackPos[t], song.trackLength[t]);
    EXPECT_GT(takeSent().size(), 100u);
    // On through a second pass as well.
    EXPECT_GT(stepsToLoop(100000, [this] { step(1); }), 0);
    unpoisonSong();
    ASSERT_TRUE(unloadSong());
  }
}

// Each track on its own, right before the poisoned end of the buffer, so that
// any read past that track's data is caught.
TEST_F(RealFiles, EveryOpenmsxTrackStaysInsideItsData) {
  const auto paths = openmsxSongs();
  if (paths.empty()) GTEST_SKIP() << "openttd-openmsx is not installed";
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(loadSong(path.c_str()));
    std::vector<Bytes> tracks;
    for (int t = 0; t < song.trackCount; ++t)
      tracks.emplace_back(song.songBuffer + song.trackStart[t], song.songBuffer + song.trackStart[t + 1]);
    const int division = song.division;
    ASSERT_TRUE(unloadSong());
    for (const Bytes& data : tracks) {
      ASSERT_TRUE(loadBytes(makeSong({data}, division), "one-track.mid"));
      poisonAfterTracks();
      EXPECT_GT(stepsToLoop(200000, [this] { step(1); }), 0);
      unpoisonSong();
      ASSERT_TRUE(unloadSong());
      takeSent();
    }
  }
}

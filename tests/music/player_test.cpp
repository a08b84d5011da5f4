// The player's commands with a real timing thread. These also run under the
// thread sanitizer, many times over.
#include <chrono>
#include <thread>

#include "music_test_support.h"
#include "platform/thread.h"

using Player = MusicTest;

// One controller message a step on `channel`, its value counting 0, 1, 2...
// for 120 steps, so that a restart or a second thread shows in the values.
static Bytes countingSong(uint8_t channel) {
  Bytes t = {0x00, static_cast<uint8_t>(0xB0 + channel), 0x07, 0x00};
  for (uint8_t v = 1; v < 120; ++v) t.insert(t.end(), {0x01, 0x07, v});
  t.insert(t.end(), {0x00, 0xFF, 0x2F, 0x00});
  return makeSong({t});
}

static std::vector<SentMessage> resetMessages() {
  std::vector<SentMessage> reset;
  for (uint8_t channel = 0; channel < 16; ++channel)
    reset.push_back({0, {static_cast<uint8_t>(0xB0 + channel), 123, 0}});
  reset.push_back({0, {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}});
  return reset;
}

static bool isReset(const std::vector<SentMessage>& log, size_t from) {
  const auto reset = resetMessages();
  if (log.size() < from + reset.size()) return false;
  for (size_t i = 0; i < reset.size(); ++i)
    if (log[from + i].bytes != reset[i].bytes) return false;
  return true;
}

static void waitForMessages(size_t count) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (sentCount() < count && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The controller values of one channel's messages, in order.
static std::vector<int> valuesOn(const std::vector<SentMessage>& log, uint8_t channel, size_t from = 0) {
  std::vector<int> values;
  for (size_t i = from; i < log.size(); ++i)
    if (log[i].bytes.size() == 3 && log[i].bytes[0] == 0xB0 + channel && log[i].bytes[1] == 0x07)
      values.push_back(log[i].bytes[2]);
  return values;
}

// The song repeats after 120 steps; a slow machine may get that far.
static bool counting(const std::vector<int>& values, int first) {
  for (size_t i = 0; i < values.size(); ++i)
    if (values[i] != (first + static_cast<int>(i)) % 120) return false;
  return true;
}

TEST_F(Player, StopSendsTheResetAndNothingAfterIt) {
  ASSERT_TRUE(loadBytes(countingSong(1)));
  for (int round = 0; round < 20; ++round) {
    takeSent();
    ASSERT_TRUE(playSong());
    waitForMessages(2 + round % 3);
    ASSERT_TRUE(stopSong());
    const size_t afterStop = sentCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(round % 4 == 0 ? 25 : 1));
    const auto log = takeSent();
    ASSERT_EQ(log.size(), afterStop) << "a message followed the reset";
    ASSERT_GE(log.size(), 17u);
    EXPECT_TRUE(isReset(log, log.size() - 17));
    EXPECT_TRUE(counting(valuesOn(log, 1), 0));  // each play starts at the beginning
  }
}

TEST_F(Player, StopOrPlayWhenRefusedChangesNothing) {
  EXPECT_FALSE(stopSong());
  EXPECT_FALSE(playSong());  // nothing loaded
  EXPECT_EQ(sentCount(), 0u);
  ASSERT_TRUE(loadBytes(countingSong(1)));
  EXPECT_FALSE(stopSong());
  EXPECT_EQ(sentCount(), 0u);
}

TEST_F(Player, PlayWhilePlayingNeitherRestartsNorAddsAThread) {
  ASSERT_TRUE(loadBytes(countingSong(1)));
  ASSERT_TRUE(playSong());
  waitForMessages(3);
  EXPECT_FALSE(playSong());
  EXPECT_FALSE(loadBytes(countingSong(2), "other.mid"));
  EXPECT_FALSE(playSong());
  waitForMessages(8);
  ASSERT_TRUE(stopSong());
  const auto values = valuesOn(takeSent(), 1);
  EXPECT_GE(values.size(), 8u);
  EXPECT_TRUE(counting(values, 0));
}

TEST_F(Player, UnloadLoadPlayWhilePlayingSwitchesToTheNewSongFromItsStart) {
  for (int round = 0; round < 10; ++round) {
    takeSent();
    ASSERT_TRUE(loadBytes(countingSong(1), "a.mid"));
    ASSERT_TRUE(playSong());
    waitForMessages(1 + round % 4);
    ASSERT_TRUE(unloadSong());
    ASSERT_TRUE(loadBytes(countingSong(2), "b.mid"));
    ASSERT_TRUE(playSong());
    waitForMessages(sentCount() + 3);
    ASSERT_TRUE(stopSong());
    const auto log = takeSent();
    // The old song, its reset, the new song from its first value.
    size_t reset = 0;
    while (reset < log.size() && log[reset].bytes[0] == 0xB1) ++reset;
    ASSERT_TRUE(isReset(log, reset));
    EXPECT_TRUE(counting(valuesOn(log, 1), 0));
    EXPECT_TRUE(valuesOn(log, 1, reset).empty());
    const auto second = valuesOn(log, 2);
    EXPECT_GE(second.size(), 3u);
    EXPECT_TRUE(counting(second, 0));
    ASSERT_TRUE(unloadSong());
  }
}

TEST_F(Player, TeardownWhilePlayingResetsAfterTheLastStep) {
  ASSERT_TRUE(loadBytes(countingSong(3)));
  ASSERT_TRUE(playSong());
  waitForMessages(2);
  teardownMusicPlayer();
  const auto log = takeSent();
  ASSERT_GE(log.size(), 17u);
  EXPECT_TRUE(isReset(log, log.size() - 17));
  EXPECT_FALSE(musicPlayer.songLoaded);
  EXPECT_FALSE(playSong());
  // And the player can be built again afterwards.
  constructMusicPlayer();
  EXPECT_TRUE(musicPlayer.ready);
}

// Command sequences in quick succession, as a hurried player's clicks and the
// scene changes make them: no message of a stopped song after its reset, and
// every play starts its song at the beginning.
TEST_F(Player, RandomCommandSequences) {
  const std::string a = writeTemp("seq-a.mid", countingSong(1));
  const std::string b = writeTemp("seq-b.mid", countingSong(2));
  uint32_t seed = 99;
  for (int i = 0; i < 400; ++i) {
    seed = seed * 1664525u + 1013904223u;
    switch ((seed >> 24) % 5) {
      case 0: loadSong((seed >> 16) & 1 ? a.c_str() : b.c_str()); break;
      case 1:
        takeSent();
        if (playSong()) {
          waitForMessages(1);
          const auto log = takeSent();
          ASSERT_FALSE(log.empty());
          EXPECT_EQ(log[0].bytes[2], 0) << "a play did not start at the beginning";
        }
        break;
      case 2:
        if (stopSong()) {
          const size_t n = sentCount();
          std::this_thread::sleep_for(std::chrono::microseconds(seed % 3000));
          EXPECT_EQ(sentCount(), n);
        }
        break;
      case 3: unloadSong(); break;
      default: std::this_thread::sleep_for(std::chrono::microseconds(seed % 4000)); break;
    }
  }
}

// ---- Pacing against absolute deadlines, on a clock the test drives ----

static std::atomic<uint32_t> fakeNow{0};
static std::atomic<int> fakeSleeps{0};
struct StepRecord {
  uint32_t deadline, now;
  int sleeps;
};
static std::mutex stepsMutex;
static std::vector<StepRecord> steps;

static uint32_t fakeClock() { return fakeNow.load(); }
static void fakeSleep(uint32_t ms) {
  fakeNow.fetch_add(ms);
  fakeSleeps.fetch_add(1);
  std::this_thread::sleep_for(std::chrono::microseconds(20));
}
static void recordStep(uint32_t deadline) {
  std::lock_guard<std::mutex> lock(stepsMutex);
  if (steps.size() == 19) fakeNow.fetch_add(50);  // step 20 starts 50 ms late
  steps.push_back({deadline, fakeNow.load(), fakeSleeps.load()});
}

TEST_F(Player, LateStepsCatchUpWithoutLosingAStepAcrossTheClocksWrap) {
  fakeNow = 0xFFFFFF00u;  // wraps 256 ms in
  fakeSleeps = 0;
  steps.clear();
  musicClock = fakeClock;
  musicSleep = fakeSleep;
  stepObserver = recordStep;
  ASSERT_TRUE(loadBytes(countingSong(1)));
  ASSERT_TRUE(playSong());
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(stepsMutex);
      if (steps.size() >= 80) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(stopSong());
  ASSERT_TRUE(unloadSong());  // joins the thread
  musicClock = sysMonotonicMs;
  musicSleep = [](uint32_t ms) { sysSleepWhile(ms, &playing); };
  stepObserver = nullptr;

  const uint32_t start = steps[0].deadline;
  EXPECT_EQ(start, 0xFFFFFF00u);
  for (size_t i = 0; i < 80; ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(steps[i].deadline, static_cast<uint32_t>(start + 10 * i));  // none lost
    const int32_t late = static_cast<int32_t>(steps[i].now - steps[i].deadline);
    if (i >= 19 && i <= 24) {
      EXPECT_EQ(late, 50 - 10 * static_cast<int>(i - 19));
      if (i > 19) {
        EXPECT_EQ(steps[i].sleeps, steps[i - 1].sleeps);  // back to back
      }
    } else {
      EXPECT_EQ(late, 0);  // on time, also after the wrap
      if (i > 0) {
        EXPECT_EQ(steps[i].sleeps, steps[i - 1].sleeps + 1);
      }
    }
  }
}

// A pause holds the song: no step runs while it is held, and afterwards the
// schedule starts from the present, so the paused minute is not played as a
// burst of catch-up steps. The song goes on from the step where it stopped.
TEST_F(Player, AHeldSongGoesOnWhereItStoppedWithoutACatchUpBurst) {
  fakeNow = 5000;
  fakeSleeps = 0;
  steps.clear();
  musicClock = fakeClock;
  musicSleep = fakeSleep;
  stepObserver = [](uint32_t deadline) {
    std::lock_guard<std::mutex> lock(stepsMutex);
    steps.push_back({deadline, fakeNow.load(), fakeSleeps.load()});
  };
  auto stepCount = [] {
    std::lock_guard<std::mutex> lock(stepsMutex);
    return steps.size();
  };
  auto waitForSteps = [&](size_t n) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (stepCount() < n && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  ASSERT_TRUE(loadBytes(countingSong(2)));
  takeSent();
  ASSERT_TRUE(playSong());
  waitForSteps(10);
  EXPECT_TRUE(holdSong());
  const size_t sentAtHold = sentCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(sentCount(), sentAtHold);
  const size_t stepsAtHold = stepCount();
  fakeNow.fetch_add(60000);  // a minute away
  const uint32_t resumedAt = fakeNow.load();
  EXPECT_TRUE(releaseHeldSong());
  EXPECT_FALSE(releaseHeldSong());
  waitForSteps(stepsAtHold + 30);
  ASSERT_TRUE(stopSong());
  ASSERT_TRUE(unloadSong());
  musicClock = sysMonotonicMs;
  musicSleep = [](uint32_t ms) { sysSleepWhile(ms, &playing); };
  stepObserver = nullptr;

  // The steps after the hold: from the moment of the release, 10 ms apart,
  // each after a sleep of its own (none back to back).
  size_t first = stepsAtHold;
  while (first < steps.size() && steps[first].deadline < resumedAt) ++first;
  ASSERT_LT(first + 20, steps.size());
  EXPECT_EQ(steps[first].deadline, resumedAt);
  for (size_t i = first + 1; i < first + 20; ++i) {
    EXPECT_EQ(steps[i].deadline, steps[i - 1].deadline + 10) << i;
    EXPECT_EQ(steps[i].sleeps, steps[i - 1].sleeps + 1) << i;
  }
  // No value of the song is lost or repeated across the hold.
  const auto values = valuesOn(takeSent(), 2);
  ASSERT_GT(values.size(), 25u);
  EXPECT_TRUE(counting(values, 0));
}

// The music player: owns the song and the MIDI output, and plays the song on a
// timing thread that steps the sequencer against absolute 10 ms deadlines.
//
// The game thread and the timing thread share the song and the output. One
// lock (stepLock) covers every step of the sequencer, and the reset that ends
// a song, so that after stopSong returns nothing of the stopped song follows
// its reset. Every other change to the song happens while no timing thread
// exists: playSong, unloadSong and teardown join the last thread first.
#include <mutex>

#include "music/music.h"
#include "music/song.h"
#include "platform/midi.h"
#include "platform/thread.h"

void (*musicObserver)(const char* operation, const char* argument) = nullptr;

MusicPlayer musicPlayer;
std::atomic<bool> playing{false};
std::atomic<bool> holding{false};
std::atomic<bool> threadBusy{false};

static void sleepWhilePlaying(uint32_t ms) { sysSleepWhile(ms, &playing); }
// Woken at once by a resume or a stop; the long nap costs nothing meanwhile.
static void waitWhileHolding() { sysSleepWhile(1000, &holding); }

uint32_t (*musicClock)() = sysMonotonicMs;
void (*musicSleep)(uint32_t ms) = sleepWhilePlaying;
void (*musicHoldWait)() = waitWhileHolding;
void (*stepObserver)(uint32_t deadline) = nullptr;

static std::mutex stepLock;
static SysThread* timingThreadHandle = nullptr;

static const uint8_t gsReset[11] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};

void observeMusic(const char* operation, const char* argument) {
  if (musicObserver) musicObserver(operation, argument);
}

void sendShortMessage(uint32_t message) { sysMidiShortMsg(message); }

bool sendLongMessage(const uint8_t* data, int length) { return sysMidiLongMsg(data, length); }

void resetDevice() {
  for (uint32_t channel = 0; channel < 16; ++channel) sendShortMessage((0xB0 + channel) | (123u << 8));
  sendLongMessage(gsReset, sizeof gsReset);
}

void timingThread() {
  if (threadBusy.exchange(true)) return;
  // Nothing sounds before the SoundFont is in; the song waits for it
  // instead of losing its first bars.
  while (playing.load() && !sysMidiReadyToPlay()) musicSleep(5);
  uint32_t deadline = musicClock();
  while (playing.load()) {
    if (holding.load()) {
      while (holding.load() && playing.load()) musicHoldWait();
      // The schedule moves by the pause: the paused time is not played
      // afterwards as a burst of steps to catch up.
      deadline = musicClock();
      continue;
    }
    if (stepObserver) stepObserver(deadline);
    {
      std::lock_guard<std::mutex> lock(stepLock);
      // Held between the look above and here: not one more step.
      if (holding.load()) continue;
      advanceClock();
    }
    deadline += 10;
    // Absolute deadlines: a late step is followed by the next at once, so
    // no step is lost and the song keeps its tempo. The difference, taken
    // as signed, stays right across the clock's wrap.
    for (;;) {
      if (!playing.load()) break;
      const int32_t ahead = static_cast<int32_t>(deadline - musicClock());
      if (ahead <= 0) break;
      musicSleep(static_cast<uint32_t>(ahead));
    }
  }
  threadBusy.store(false);
}

// Ends playback: the reset and the end of stepping happen under the step
// lock, so no step of the song runs after the reset.
static void endPlayback() {
  {
    std::lock_guard<std::mutex> lock(stepLock);
    resetDevice();
    playing.store(false);
    holding.store(false);
  }
  sysWakeSleepers();
}

static void joinTimingThread() {
  sysJoinThread(timingThreadHandle);
  timingThreadHandle = nullptr;
}

bool playSong() {
  observeMusic("play", nullptr);
  if (!musicPlayer.ready || !musicPlayer.songLoaded || playing.load()) return false;
  // A thread of an earlier play may still be finishing its last step.
  joinTimingThread();
  rewindSong();
  playing.store(true);
  timingThreadHandle = sysStartThread(timingThread, true);
  if (!timingThreadHandle) {
    playing.store(false);
    return false;
  }
  return true;
}

bool stopSong() {
  observeMusic("stop", nullptr);
  if (!musicPlayer.ready || !playing.load()) return false;
  endPlayback();
  return true;
}

bool holdSong() {
  {
    std::lock_guard<std::mutex> lock(stepLock);
    holding.store(true);
  }
  return musicPlayer.ready && playing.load();
}

bool releaseHeldSong() {
  const bool wasHeld = holding.exchange(false);
  sysWakeSleepers();
  return wasHeld;
}

bool unloadSong() {
  observeMusic("unload", nullptr);
  if (!musicPlayer.songLoaded) return false;
  // Releasing the song under a playing thread would pull its data away; a
  // song that is unloaded while it plays is stopped first.
  if (playing.load()) endPlayback();
  joinTimingThread();
  releaseSong();
  return true;
}

void constructMusicPlayer() {
  if (musicPlayer.ready) return;
  // No song can be loaded while the output is closed, so nothing is lost here.
  musicPlayer = MusicPlayer{};
  song = Song{};
  loopPoint = LoopPoint{};
  sequencer = SequencerState{};
  playing.store(false);
  if (!sysMidiOpen()) return;
  musicPlayer.sysexScratch = new uint8_t[SysexScratchSize]();
  musicPlayer.ready = true;
}

void teardownMusicPlayer() {
  if (playing.load() || holding.load()) {
    playing.store(false);
    holding.store(false);
    sysWakeSleepers();
  }
  // The thread finishes its step before anything it reads goes away.
  joinTimingThread();
  releaseSong();
  if (musicPlayer.ready) resetDevice();
  sysMidiClose();
  delete[] musicPlayer.sysexScratch;
  musicPlayer = MusicPlayer{};
}

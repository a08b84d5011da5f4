// The audio device on SDL's dummy driver: it runs the callback at the real pace
// into nothing, so these tests need no sound card.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "platform/audio.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "sound/sound_bank.h"
#include "sound/sound_mixer.h"
#include "wav_maker.h"

namespace {

std::atomic<int> musicCalls{0};
std::atomic<int> biggestRequest{0};
void countingMusic(int16_t* out, int frames) {
  for (int i = 0; i < frames * 2; ++i) out[i] = 0;
  if (frames > biggestRequest.load()) biggestRequest.store(frames);
  musicCalls.fetch_add(1);
}

// Waits up to two seconds (liveness only, nothing about speed).
template <typename Done>
bool waitFor(Done done) {
  for (int i = 0; i < 400 && !done(); ++i) sysSleep(5);
  return done();
}

struct Device : ::testing::Test {
  void SetUp() override {
    sysCloseAudio();
    sysSetHeadless(false);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    musicCalls = 0;
  }
  void TearDown() override {
    releaseSoundBank();
    sysSetMusicSource(nullptr);
    sysCloseAudio();
    sysSetMixer(nullptr);
    sysSetHeadless(true);
  }
};

// Paused, nothing is played (the device's thread is held outside its loop);
// it goes on at the resume, and a device closed while paused closes.
TEST_F(Device, APausedDeviceCallsNothingAndClosesAllTheSame) {
  sysSetMusicSource(countingMusic);
  ASSERT_TRUE(sysOpenAudio()) << sysAudioError();
  ASSERT_TRUE(waitFor([] { return musicCalls.load() > 2; }));
  sysPauseAudio(true);
  sysPauseAudio(true);  // twice is once
  const int atPause = musicCalls.load();
  sysSleep(100);  // several buffers' time
  EXPECT_EQ(musicCalls.load(), atPause);
  // The game thread may still swap what the device plays meanwhile.
  sysSetMusicSource(countingMusic);
  sysPauseAudio(false);
  EXPECT_TRUE(waitFor([&] { return musicCalls.load() > atPause + 2; }));
  sysPauseAudio(true);
  sysCloseAudio();
  EXPECT_FALSE(sysAudioReady());
  sysPauseAudio(false);  // nothing to resume
}

TEST_F(Device, OpensOnceAndFeedsMusicSetBeforeOrAfter) {
  sysSetMusicSource(countingMusic);  // music may come before the device
  ASSERT_TRUE(sysOpenAudio()) << sysAudioError();
  EXPECT_TRUE(sysOpenAudio());
  EXPECT_TRUE(sysAudioReady());
  EXPECT_GT(sysAudioBufferFrames(), 0);
  EXPECT_LE(sysAudioBufferFrames(), 512);
  ASSERT_TRUE(waitFor([] { return musicCalls.load() > 2; }));
  EXPECT_LE(biggestRequest.load(), 1024);

  // Once the source is removed it is never called again.
  sysSetMusicSource(nullptr);
  int calls = musicCalls.load();
  sysSleep(60);
  EXPECT_EQ(musicCalls.load(), calls);

  sysCloseAudio();
  EXPECT_FALSE(sysAudioReady());
  EXPECT_EQ(sysAudioBufferFrames(), 0);
}

TEST_F(Device, EffectsPlayThroughTheDeviceWithMusicBeside) {
  ScratchFolder here;
  // Two seconds per effect, so that it is still sounding when we look.
  for (int i = 0; i < SoundCount; ++i) {
    ASSERT_TRUE(writeFile("se/se" + std::to_string(i) + ".wav",
                          deviceWav(std::vector<int16_t>(2 * 88200, 1000))));
  }
  initSoundBank();
  ASSERT_TRUE(soundBank.ready);
  ASSERT_TRUE(sysAudioReady());
  sysSetMusicSource(countingMusic);
  playEffect(SoundClear);
  EXPECT_TRUE(waitFor([] { return mixerVoicesSounding() == 1; }));
  EXPECT_TRUE(waitFor([] { return musicCalls.load() > 0; }));
  releaseSoundBank();
  EXPECT_TRUE(waitFor([] { return mixerVoicesSounding() == 0; }));
  // The device stays open for the music after the bank is gone.
  EXPECT_TRUE(sysAudioReady());
}

TEST_F(Device, HeadlessHasNoDeviceButStillConverts) {
  sysSetHeadless(true);
  EXPECT_FALSE(sysOpenAudio());
  EXPECT_FALSE(sysAudioReady());
  std::vector<int16_t> out;
  int16_t mono[4] = {0, 1000, -1000, 0};
  EXPECT_TRUE(sysConvertSamples(mono, sizeof mono, 1, 44100, 16, &out));
  EXPECT_EQ(out.size(), 8u);
  EXPECT_FALSE(sysConvertSamples(mono, 3, 1, 44100, 16, &out));  // half a frame
  EXPECT_FALSE(sysConvertSamples(mono, sizeof mono, 1, 44100, 12, &out));
  EXPECT_FALSE(sysConvertSamples(mono, sizeof mono, 1, 0, 16, &out));
  EXPECT_TRUE(out.empty());
}

}  // namespace

// The mixer, called directly as the audio device would call it.
#include <gtest/gtest.h>

#include <vector>

#include "sound/sound.h"
#include "sound/sound_mixer.h"

namespace {

// Stereo effects with both sides equal: frames of a constant, or a ramp.
std::vector<int16_t> constant(int frames, int16_t value) {
  return std::vector<int16_t>(static_cast<size_t>(frames) * 2, value);
}
std::vector<int16_t> ramp(int frames) {
  std::vector<int16_t> s;
  for (int i = 0; i < frames; ++i) s.insert(s.end(), 2, static_cast<int16_t>(i + 1));
  return s;
}

struct Mixer : ::testing::Test {
  std::vector<std::vector<int16_t>> effects = std::vector<std::vector<int16_t>>(SoundCount);
  void install() {
    const int16_t* samples[SoundCount];
    uint32_t frames[SoundCount];
    for (int i = 0; i < SoundCount; ++i) {
      samples[i] = effects[i].empty() ? nullptr : effects[i].data();
      frames[i] = static_cast<uint32_t>(effects[i].size() / 2);
    }
    mixerSetEffects(samples, frames, SoundCount);
  }
  std::vector<int16_t> mix(int frames, SysAudioSource music = nullptr) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2, 12345);
    mixAudio(out.data(), frames, music);
    return out;
  }
  void TearDown() override { mixerClearEffects(); }
};

int16_t left(const std::vector<int16_t>& out, int frame) { return out[static_cast<size_t>(frame) * 2]; }

TEST_F(Mixer, SilentUntilTriggeredThenPlaysOnceToTheEnd) {
  effects[3] = ramp(10);
  install();
  EXPECT_EQ(mix(16), constant(16, 0));
  mixerTrigger(3);
  std::vector<int16_t> out = mix(16);
  for (int f = 0; f < 10; ++f) EXPECT_EQ(left(out, f), f + 1);
  for (int f = 10; f < 16; ++f) EXPECT_EQ(left(out, f), 0);
  EXPECT_EQ(mixerVoicesSounding(), 0);
  EXPECT_EQ(mix(4), constant(4, 0));
}

TEST_F(Mixer, RetriggerCutsTheRunningVoiceAndStartsOver) {
  effects[0] = ramp(100);
  install();
  mixerTrigger(0);
  std::vector<int16_t> first = mix(30);
  EXPECT_EQ(left(first, 29), 30);
  EXPECT_EQ(mixerVoicesSounding(), 1);
  mixerTrigger(0);
  std::vector<int16_t> second = mix(30);
  // Started again from frame 0, not layered over the first run (which would give 31 + 1).
  EXPECT_EQ(left(second, 0), 1);
  EXPECT_EQ(left(second, 29), 30);
  // Two triggers between buffers sound once, from the start.
  mixerTrigger(0);
  mixerTrigger(0);
  EXPECT_EQ(left(mix(1), 0), 1);
}

TEST_F(Mixer, DifferentEffectsAddAndSaturateInsteadOfWrapping) {
  effects[1] = constant(8, 1000);
  effects[2] = ramp(4);
  effects[5] = constant(8, 30000);
  effects[6] = constant(8, 30000);
  effects[7] = constant(8, -30000);
  effects[8] = constant(8, -30000);
  install();
  mixerTrigger(1);
  mixerTrigger(2);
  std::vector<int16_t> out = mix(8);
  EXPECT_EQ(left(out, 0), 1001);
  EXPECT_EQ(left(out, 3), 1004);
  EXPECT_EQ(left(out, 7), 1000);
  EXPECT_EQ(out[1], out[0]);

  mixerTrigger(5);
  mixerTrigger(6);
  EXPECT_EQ(mix(8), constant(8, 32767));
  mixerTrigger(7);
  mixerTrigger(8);
  EXPECT_EQ(mix(8), constant(8, -32768));
  // Clipped once after the sum: +30000 + 30000 - 30000 is 30000, not 2767.
  mixerTrigger(5);
  mixerTrigger(6);
  mixerTrigger(7);
  EXPECT_EQ(mix(8), constant(8, 30000));
}

int musicCalls = 0;
void musicAt20000(int16_t* out, int frames) {
  ++musicCalls;
  for (int i = 0; i < frames * 2; ++i) out[i] = static_cast<int16_t>(i % 2 ? -20000 : 20000);
}

TEST_F(Mixer, MusicIsAddedIntoTheSameBuffer) {
  effects[4] = constant(3, 15000);
  install();
  std::vector<int16_t> alone = mix(4, musicAt20000);
  EXPECT_EQ(alone, (std::vector<int16_t>{20000, -20000, 20000, -20000, 20000, -20000, 20000, -20000}));
  mixerTrigger(4);
  std::vector<int16_t> both = mix(4, musicAt20000);
  EXPECT_EQ(both, (std::vector<int16_t>{32767, -5000, 32767, -5000, 32767, -5000, 20000, -20000}));
}

TEST_F(Mixer, LongBuffersAreMixedWithoutSeams) {
  effects[9] = ramp(5000);
  install();
  mixerTrigger(9);
  musicCalls = 0;
  std::vector<int16_t> out = mix(4000, musicAt20000);
  EXPECT_GT(musicCalls, 1);  // rendered in passes, each pass continuing the effect
  for (int f = 0; f < 4000; ++f) ASSERT_EQ(left(out, f), 20000 + f + 1);
  out = mix(1500);
  EXPECT_EQ(left(out, 0), 4001);
  EXPECT_EQ(left(out, 999), 5000);
  EXPECT_EQ(left(out, 1000), 0);
}

TEST_F(Mixer, TriggersOutsideTheBankOrBeforeItAreIgnored) {
  effects[10] = constant(4, 500);
  mixerTrigger(10);  // before the samples arrive: must not start them
  install();
  EXPECT_EQ(mix(4), constant(4, 0));
  mixerTrigger(-1);
  mixerTrigger(SoundCount);
  mixerTrigger(11);  // no samples for this one
  EXPECT_EQ(mix(4), constant(4, 0));
  EXPECT_EQ(mixerVoicesSounding(), 0);
  mixerTrigger(10);
  mixerClearEffects();  // the samples go away before the trigger is seen
  EXPECT_EQ(mix(4), constant(4, 0));
}

}  // namespace

namespace {
struct MixerVolume : Mixer {
  void TearDown() override {
    mixerSetPaused(false);
    mixerSetVolume(100, 100, 100);
    Mixer::TearDown();
  }
};

TEST_F(MixerVolume, MusicAndEffectsScaleByTheirOwnAndTheMasterVolume) {
  effects[4] = constant(8, 10000);
  install();
  mixerSetVolume(50, 100, 100);
  mixerTrigger(4);
  std::vector<int16_t> out = mix(2, musicAt20000);
  EXPECT_EQ(out, (std::vector<int16_t>{15000, -5000, 15000, -5000}));
  mixerSetVolume(100, 50, 20);
  out = mix(2, musicAt20000);
  EXPECT_NEAR(out[0], 10000 + 2000, 1);
  EXPECT_NEAR(out[1], -10000 + 2000, 1);
  // Out of range is clamped; nothing at all at 0.
  mixerSetVolume(0, 300, -5);
  out = mix(2, musicAt20000);
  EXPECT_EQ(out, constant(2, 0));
  // At full volume the samples pass exactly, saturation included.
  mixerSetVolume(100, 100, 100);
  effects[5] = constant(2, 15000);
  install();
  mixerTrigger(5);
  out = mix(2, musicAt20000);
  EXPECT_EQ(out, (std::vector<int16_t>{32767, -5000, 32767, -5000}));
}

TEST_F(MixerVolume, APauseCutsTheEffectsAndLeavesTheMusicWhereItWas) {
  effects[1] = constant(100, 1000);
  install();
  mixerTrigger(1);
  mix(10);
  EXPECT_EQ(mixerVoicesSounding(), 1);
  mixerSetPaused(true);
  musicCalls = 0;
  EXPECT_EQ(mix(50, musicAt20000), constant(50, 0));
  EXPECT_EQ(musicCalls, 0);
  EXPECT_EQ(mixerVoicesSounding(), 0);
  mixerTrigger(1);  // made while paused: dropped
  mixerSetPaused(false);
  std::vector<int16_t> out = mix(4, musicAt20000);
  EXPECT_EQ(out, (std::vector<int16_t>{20000, -20000, 20000, -20000, 20000, -20000, 20000, -20000}));
  EXPECT_GT(musicCalls, 0);
}
}  // namespace

// The synthesizer output without an audio device: notes sound, and the reset
// that ends a song silences them.
#include <cmath>

#include "music_test_support.h"

static bool haveDefaultSoundFont() {
  FILE* f = std::fopen("/usr/share/sounds/sf2/TimGM6mb.sf2", "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

static int peak(int frames) {
  std::vector<int16_t> buffer(static_cast<size_t>(frames) * 2);
  sysMidiRender(buffer.data(), frames);
  int loudest = 0;
  for (int16_t s : buffer) loudest = std::max(loudest, std::abs(int{s}));
  return loudest;
}

TEST(Synthesizer, NotesSoundAndTheResetSilencesThem) {
#if defined(__SANITIZE_THREAD__)
  // FluidSynth loads samples on OpenMP threads that the sanitizer cannot see into.
  GTEST_SKIP() << "not under the thread sanitizer";
#endif
  if (!haveDefaultSoundFont()) GTEST_SKIP() << "timgm6mb-soundfont is not installed";
  unsetenv("WENDLOP_SOUNDFONT");
  sysMidiSelect(SysMidiOffline);
  constructMusicPlayer();
  ASSERT_TRUE(musicPlayer.ready);
  EXPECT_TRUE(sysMidiReadyToPlay());
  EXPECT_LE(peak(4410), 2);  // only dither

  sysMidiShortMsg(0x0000C0 | (19u << 8));   // organ: holds while the key is down
  sysMidiShortMsg(0x90 | (60u << 8) | (110u << 16));
  sysMidiShortMsg(0xE0 | (0x00u << 8) | (0x50u << 16));  // a little pitch bend
  EXPECT_GT(peak(4410), 500);
  EXPECT_GT(peak(4410), 500);

  resetDevice();
  peak(44100 * 2);  // release and reverb tails
  EXPECT_LT(peak(4410), 20);

  const uint8_t gsReset[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
  EXPECT_TRUE(sysMidiLongMsg(gsReset, sizeof gsReset));
  const uint8_t bare[] = {0xF0};
  EXPECT_TRUE(sysMidiLongMsg(bare, 1));
  teardownMusicPlayer();
  sysMidiSelect(SysMidiRecorder);
}

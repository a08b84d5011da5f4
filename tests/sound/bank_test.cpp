// The bank as the game sees it: thirteen files under se/, all or nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "sound/sound_bank.h"
#include "sound/sound_mixer.h"
#include "wav_maker.h"

namespace {

// Frames of effect `id` at the device format while the bank holds it.
uint32_t effectFrames(int id) { return static_cast<uint32_t>(soundBank.samples[id].size() / SysAudioChannels); }

struct Bank : ::testing::Test {
  ScratchFolder here;
  void SetUp() override {
    sysCloseAudio();  // a device test before this one must not mix behind our back
    sysSetHeadless(true);
  }
  void TearDown() override {
    releaseSoundBank();
    playEffectObserver = nullptr;
  }
  // Effect i holds 4 frames of the value 100 * (i + 1).
  void writeBank(int count) {
    for (int i = 0; i < count; ++i) {
      int16_t v = static_cast<int16_t>(100 * (i + 1));
      ASSERT_TRUE(writeFile("se/se" + std::to_string(i) + ".wav", deviceWav(std::vector<int16_t>(8, v))));
    }
  }
  int16_t firstSample() {
    int16_t out[8];
    mixAudio(out, 4, nullptr);
    return out[0];
  }
};

TEST_F(Bank, ThirteenGoodFilesMakeAReadyBankThatPlaysByNumber) {
  writeBank(SoundCount);
  testing::internal::CaptureStderr();
  initSoundBank();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_TRUE(soundBank.ready);
  EXPECT_EQ(soundBank.effectsLoaded, SoundCount);
  for (int i = 0; i < SoundCount; ++i) {
    playEffect(i);
    EXPECT_EQ(firstSample(), 100 * (i + 1)) << "effect " << i;
  }
  playEffect(SoundClear);
  playEffect(SoundTurn);
  EXPECT_EQ(firstSample(), 800 + 1000);

  playEffect(SoundCount);
  playEffect(-1);
  playEffect(255);
  EXPECT_EQ(firstSample(), 0);
}

TEST_F(Bank, AMissingEffectSilencesTheWholeBank) {
  writeBank(SoundCount);
  std::filesystem::remove("se/se7.wav");
  testing::internal::CaptureStderr();
  initSoundBank();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "wendlop: no sound effects: se/se7.wav is missing\n");
  EXPECT_FALSE(soundBank.ready);
  EXPECT_EQ(soundBank.effectsLoaded, 7);
  for (int i = 0; i < SoundCount; ++i) {
    EXPECT_EQ(effectFrames(i), 0u) << "effect " << i << " is still held";
    playEffect(i);
  }
  EXPECT_EQ(firstSample(), 0);
  EXPECT_EQ(mixerVoicesSounding(), 0);
}

TEST_F(Bank, ABadFileIsNamedWithItsFault) {
  writeBank(SoundCount);
  ASSERT_TRUE(writeFile("se/se3.wav", riff(chunk("fmt ", fmtPayload(2, 44100, 24)) + chunk("data", "abcdef"))));
  testing::internal::CaptureStderr();
  initSoundBank();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "wendlop: no sound effects: se/se3.wav has a sample format that cannot be played "
            "(2 channels, 24 bits, 44100 Hz, 6-byte frames)\n");
  EXPECT_EQ(soundBank.effectsLoaded, 3);

  ASSERT_TRUE(writeFile("se/se3.wav", "RIFF"));
  testing::internal::CaptureStderr();
  initSoundBank();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "wendlop: no sound effects: se/se3.wav is not a RIFF WAVE file\n");
  EXPECT_FALSE(soundBank.ready);

  std::filesystem::remove("se/se3.wav");
  std::filesystem::create_directory("se/se3.wav");
  testing::internal::CaptureStderr();
  initSoundBank();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "wendlop: no sound effects: se/se3.wav is a folder, not a file\n");
}

TEST_F(Bank, EveryCallIsObservedWhetherTheBankIsReadyOrNot) {
  static std::vector<int> calls;
  calls.clear();
  playEffectObserver = [](int id) { calls.push_back(id); };
  playEffect(SoundStar);  // before any bank
  writeBank(SoundCount);
  initSoundBank();
  ASSERT_TRUE(soundBank.ready);
  playEffect(SoundTimeWarning);
  playEffect(40);
  EXPECT_EQ(calls, (std::vector<int>{SoundStar, SoundTimeWarning, 40}));
}

TEST_F(Bank, ReleaseSilencesAndCanBeRepeated) {
  writeBank(SoundCount);
  initSoundBank();
  ASSERT_TRUE(soundBank.ready);
  playEffect(SoundBreak);
  releaseSoundBank();
  EXPECT_FALSE(soundBank.ready);
  EXPECT_EQ(effectFrames(SoundBreak), 0u);
  EXPECT_EQ(firstSample(), 0);  // the voice started before release is gone too
  playEffect(SoundBreak);
  EXPECT_EQ(firstSample(), 0);
  releaseSoundBank();
  EXPECT_FALSE(soundBank.ready);

  // A second start-up loads afresh.
  initSoundBank();
  ASSERT_TRUE(soundBank.ready);
  playEffect(SoundBreak);
  EXPECT_EQ(firstSample(), 500);
}

TEST_F(Bank, RealWavFilesFillTheBank) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/usr/share/sounds/alsa", ec)) {
    if (e.path().extension() == ".wav") files.push_back(e.path());
  }
  if (files.empty()) GTEST_SKIP() << "alsa-utils is not installed (scripts/deps.sh installs it)";
  std::filesystem::create_directories("se");
  for (int i = 0; i < SoundCount; ++i) {
    std::filesystem::copy_file(files[static_cast<size_t>(i) % files.size()],
                               "se/se" + std::to_string(i) + ".wav");
  }
  initSoundBank();
  ASSERT_TRUE(soundBank.ready);
  EXPECT_EQ(soundBank.formats[0].samplesPerSec, 48000);
  EXPECT_GT(effectFrames(0), 44100u);
  playEffect(0);
  std::vector<int16_t> out(2 * 44100);
  mixAudio(out.data(), 44100, nullptr);
  bool heard = false;
  for (int16_t s : out) heard = heard || s != 0;
  EXPECT_TRUE(heard);
}

// The effects the game ships with: all thirteen load and each one is heard.
TEST_F(Bank, TheGamesOwnEffectsLoad) {
  ASSERT_TRUE(sysChangeDirectory(WENDLOP_SOURCE_DIR "/data"));
  testing::internal::CaptureStderr();
  initSoundBank();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_TRUE(soundBank.ready);
  for (int i = 0; i < SoundCount; ++i) {
    uint32_t frames = effectFrames(i);
    EXPECT_GT(frames, 0u) << "effect " << i;
    playEffect(i);
    std::vector<int16_t> out(2 * static_cast<size_t>(frames));
    mixAudio(out.data(), static_cast<int>(frames), nullptr);
    int peak = 0;
    for (int16_t s : out) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_GT(peak, 1000) << "effect " << i << " is silent";
  }
}

TEST_F(Bank, NoAudioDeviceSaysSoOnceAndPlaysOnSilently) {
  writeBank(SoundCount);
  sysSetHeadless(false);
  const char* before = std::getenv("SDL_AUDIODRIVER");
  std::string saved = before ? before : "";
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  testing::internal::CaptureStderr();
  initSoundBank();
  std::string said = testing::internal::GetCapturedStderr();
  testing::internal::CaptureStderr();
  initSoundBank();  // a second miss of the same device is not said again
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  if (before) {
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
  } else {
    unsetenv("SDL_AUDIODRIVER");
  }
  sysSetHeadless(true);
  // The music misses the same device: the one line speaks for both.
  EXPECT_EQ(said.rfind("wendlop: no music and no sound effects: no audio device", 0), 0u) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
  EXPECT_FALSE(soundBank.ready);
  EXPECT_FALSE(sysAudioReady());
  playEffect(SoundStar);
  EXPECT_EQ(firstSample(), 0);
}

}  // namespace

// The bank of thirteen effects: all of them load at start-up or none plays.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/platform.h"
#include "sound/effect_file.h"
#include "sound/sound.h"
#include "sound/sound_bank.h"
#include "sound/sound_mixer.h"

void (*playEffectObserver)(int id) = nullptr;

SoundBank soundBank;

namespace {
void freeEffects() {
  for (std::vector<int16_t>& s : soundBank.samples) std::vector<int16_t>().swap(s);
}

void giveUp(const char* why) { std::fprintf(stderr, "wendlop: no sound effects: %s\n", why); }
}  // namespace

void initSoundBank() {
  releaseSoundBank();

  // Headless runs have no device but load and mix all the same, so that tests
  // and tools see the bank the player would get.
  if (!sysOpenAudio() && !sysIsHeadless()) {
    sysSayNoAudioDevice();
    return;
  }
  sysSetMixer(mixAudio);

  for (int i = 0; i < SoundCount; ++i) {
    char path[32];
    std::snprintf(path, sizeof path, "se/se%d.wav", i);
    std::string problem;
    EffectFileResult result = readEffectFile(path, &soundBank.samples[i], &soundBank.formats[i], &problem);
    if (result != EffectLoaded) {
      char why[320];
      if (result == EffectBadFormat) {
        const EffectFormat& f = soundBank.formats[i];
        std::snprintf(why, sizeof why, "%s %s (%d channels, %d bits, %d Hz, %d-byte frames)", path,
                      effectFileProblem(result), f.channels, f.bitsPerSample, f.samplesPerSec,
                      f.blockAlign);
      } else {
        std::snprintf(why, sizeof why, "%s %s", path, problem.c_str());
      }
      giveUp(why);
      // One bad file silences them all; the ones before it are never played.
      freeEffects();
      return;
    }
    soundBank.effectsLoaded = i + 1;
  }

  const int16_t* samples[SoundCount];
  uint32_t frames[SoundCount];
  for (int i = 0; i < SoundCount; ++i) {
    samples[i] = soundBank.samples[i].data();
    frames[i] = static_cast<uint32_t>(soundBank.samples[i].size() / SysAudioChannels);
  }
  mixerSetEffects(samples, frames, SoundCount);
  soundBank.ready = true;
}

void playEffect(int id) {
  if (playEffectObserver) playEffectObserver(id);
  if (!soundBank.ready || id < 0 || id >= SoundCount) return;
  mixerTrigger(id);
}

void setSoundVolume(int masterPercent, int musicPercent, int effectsPercent) {
  mixerSetVolume(masterPercent, musicPercent, effectsPercent);
}

void pauseSound(bool on) {
  mixerSetPaused(on);
  sysPauseAudio(on);
}

void releaseSoundBank() {
  // The audio thread lets go of the samples before they are freed.
  if (soundBank.ready) mixerClearEffects();
  soundBank = SoundBank{};
}

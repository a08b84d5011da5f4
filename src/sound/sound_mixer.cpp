// Voices of the effect mixer. The game thread only bumps a voice's trigger
// counter; the audio thread notices the change at the start of the next buffer
// and rewinds that voice. So playEffect never waits for the audio thread, and
// the audio thread never waits for the game.
#include "sound/sound_mixer.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "sound/sound.h"

namespace {

constexpr int kVoices = SoundCount;
// Frames mixed per pass: the scratch buffers are static so that the audio
// thread allocates nothing; a longer buffer takes several passes.
constexpr int kChunkFrames = 1024;

struct Voice {
  const int16_t* samples = nullptr;  // stereo frames; nullptr: no effect here
  uint32_t frames = 0;
  uint32_t position = 0;  // next frame to play
  bool sounding = false;
  uint32_t triggersSeen = 0;
};

// Game thread: bumped per playEffect. Audio thread: compared with triggersSeen.
std::atomic<uint32_t> triggers[kVoices];
// Audio thread (or whoever holds the audio lock).
Voice voices[kVoices];
int32_t sum[kChunkFrames * SysAudioChannels];
int16_t musicChunk[kChunkFrames * SysAudioChannels];
std::atomic<int> soundingCount{0};

// Game thread writes, audio thread reads: the scale of each source (master
// times its own volume, 65536 for full), and whether the game is paused.
constexpr int32_t FullScale = 65536;
std::atomic<int32_t> musicScale{FullScale};
std::atomic<int32_t> effectsScale{FullScale};
std::atomic<bool> paused{false};
std::atomic<uint32_t> pauseCount{0};  // bumped per pause: the audio thread cuts the voices
uint32_t pausesSeen = 0;              // audio thread

// At full scale the samples go through untouched, bit for bit.
inline int32_t scaled(int32_t sample, int32_t scale) {
  return scale == FullScale ? sample : (sample * scale) >> 16;
}

void silenceAll() {
  for (int i = 0; i < kVoices; ++i) {
    voices[i] = Voice{};
    // Triggers made before the swap must not start the new samples.
    voices[i].triggersSeen = triggers[i].load(std::memory_order_acquire);
  }
  soundingCount.store(0, std::memory_order_relaxed);
}

}  // namespace

void mixerSetEffects(const int16_t* const* samples, const uint32_t* frames, int count) {
  sysLockAudio();
  silenceAll();
  for (int i = 0; i < count && i < kVoices; ++i) {
    voices[i].samples = frames[i] ? samples[i] : nullptr;
    voices[i].frames = samples[i] ? frames[i] : 0;
  }
  sysUnlockAudio();
}

void mixerClearEffects() {
  sysLockAudio();
  silenceAll();
  sysUnlockAudio();
}

void mixerTrigger(int id) {
  if (id < 0 || id >= kVoices || paused.load(std::memory_order_acquire)) return;
  triggers[id].fetch_add(1, std::memory_order_release);
}

int mixerVoicesSounding() { return soundingCount.load(std::memory_order_relaxed); }

void mixerSetVolume(int masterPercent, int musicPercent, int effectsPercent) {
  auto clampPercent = [](int p) { return p < 0 ? 0 : (p > 100 ? 100 : p); };
  const int64_t master = clampPercent(masterPercent);
  musicScale.store(static_cast<int32_t>(master * clampPercent(musicPercent) * FullScale / 10000),
                   std::memory_order_relaxed);
  effectsScale.store(static_cast<int32_t>(master * clampPercent(effectsPercent) * FullScale / 10000),
                     std::memory_order_relaxed);
}

void mixerSetPaused(bool on) {
  if (on && !paused.load(std::memory_order_relaxed)) pauseCount.fetch_add(1, std::memory_order_release);
  paused.store(on, std::memory_order_release);
}

void mixAudio(int16_t* out, int frames, SysAudioSource music) {
  if (!out || frames <= 0) return;
  // A pause cuts the effects that sound; the music source is not pulled, so
  // the synthesizer's notes wait, silent, where they are.
  const uint32_t pauses = pauseCount.load(std::memory_order_acquire);
  if (pauses != pausesSeen) {
    pausesSeen = pauses;
    for (Voice& v : voices) v.sounding = false;
  }
  if (paused.load(std::memory_order_acquire)) {
    std::memset(out, 0, sizeof(int16_t) * static_cast<size_t>(frames) * SysAudioChannels);
    for (int i = 0; i < kVoices; ++i) voices[i].triggersSeen = triggers[i].load(std::memory_order_acquire);
    soundingCount.store(0, std::memory_order_relaxed);
    return;
  }
  const int32_t musicGain = musicScale.load(std::memory_order_relaxed);
  const int32_t effectsGain = effectsScale.load(std::memory_order_relaxed);
  for (int i = 0; i < kVoices; ++i) {
    uint32_t seen = triggers[i].load(std::memory_order_acquire);
    if (seen != voices[i].triggersSeen) {
      voices[i].triggersSeen = seen;
      // One voice per effect: a new trigger cuts the running sound.
      voices[i].position = 0;
      voices[i].sounding = voices[i].samples != nullptr;
    }
  }

  while (frames > 0) {
    int n = std::min(frames, kChunkFrames);
    int samples = n * SysAudioChannels;
    if (music) {
      music(musicChunk, n);
      for (int s = 0; s < samples; ++s) sum[s] = scaled(musicChunk[s], musicGain);
    } else {
      std::memset(sum, 0, sizeof(int32_t) * static_cast<size_t>(samples));
    }
    for (Voice& v : voices) {
      if (!v.sounding) continue;
      uint32_t take = std::min<uint32_t>(static_cast<uint32_t>(n), v.frames - v.position);
      const int16_t* from = v.samples + static_cast<size_t>(v.position) * SysAudioChannels;
      for (uint32_t s = 0; s < take * SysAudioChannels; ++s) sum[s] += scaled(from[s], effectsGain);
      v.position += take;
      if (v.position >= v.frames) v.sounding = false;
    }
    // Clip once, after everything is summed: the loudest moment saturates at
    // full scale instead of wrapping round to the other sign.
    for (int s = 0; s < samples; ++s) {
      out[s] = static_cast<int16_t>(std::clamp<int32_t>(sum[s], INT16_MIN, INT16_MAX));
    }
    out += samples;
    frames -= n;
  }

  int sounding = 0;
  for (const Voice& v : voices) sounding += v.sounding ? 1 : 0;
  soundingCount.store(sounding, std::memory_order_relaxed);
}

// wendlop-bench-sound: measures the effect path from playEffect to the samples
// leaving the mixer for the device.
//
//   wendlop-bench-sound [--trials N] [--driver NAME]
//
// It writes thirteen short test effects into a temporary folder, loads them
// through the real bank, and then:
//   1. times the mixer filling one device buffer with all thirteen voices and a
//      music source sounding (no device: pure computing cost);
//   2. opens the device (SDL_AUDIODRIVER or --driver picks the driver) and
//      records the period between callbacks;
//   3. N times: waits a random while, calls playEffect and notes when the
//      first buffer holding the effect's samples leaves the mixer.
// The sound reaches the speaker at least one device buffer after leaving the
// mixer, plus whatever the driver itself holds.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "sound/sound_bank.h"
#include "sound/sound_mixer.h"
#include "wav_file.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// A 48 kHz mono blip of `frames` frames, so that loading also resamples.
std::string blipWav(int frames) {
  std::vector<int16_t> samples;
  for (int i = 0; i < frames; ++i) samples.push_back(static_cast<int16_t>(8000 * std::sin(i * 0.05)));
  const std::vector<uint8_t> wav = encodeWav16(samples.data(), samples.size(), 1, 48000);
  return std::string(wav.begin(), wav.end());
}

void quietMusic(int16_t* out, int frames) { std::fill(out, out + 2 * frames, int16_t{200}); }

// What the device callback saw, filled on the audio thread.
constexpr int kMaxCallbacks = 4096;
int64_t callbackTimes[kMaxCallbacks];
std::atomic<int> callbackCount{0};
std::atomic<int> lastFrames{0};
std::atomic<bool> waiting{false};
std::atomic<int64_t> heardAt{0};

void timedMixer(int16_t* out, int frames, SysAudioSource music) {
  int64_t start = nowNs();
  int n = callbackCount.load(std::memory_order_relaxed);
  if (n < kMaxCallbacks) callbackTimes[n] = start;
  callbackCount.store(n + 1, std::memory_order_release);
  lastFrames.store(frames, std::memory_order_relaxed);
  mixAudio(out, frames, music);
  if (waiting.load(std::memory_order_acquire)) {
    for (int i = 0; i < 2 * frames; ++i) {
      if (out[i] != 0) {
        heardAt.store(nowNs(), std::memory_order_relaxed);
        waiting.store(false, std::memory_order_release);
        break;
      }
    }
  }
}

struct Stats {
  double min, median, mean, p95, max;
};
Stats stats(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  double sum = 0;
  for (double x : v) sum += x;
  auto at = [&](double q) { return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1))]; };
  return {v.front(), at(0.5), sum / static_cast<double>(v.size()), at(0.95), v.back()};
}

int usage() {
  std::fprintf(stderr, "usage: wendlop-bench-sound [--trials N] [--driver NAME]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int trials = 200;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--trials") && i + 1 < argc) {
      trials = std::max(1, std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--driver") && i + 1 < argc) {
      setenv("SDL_AUDIODRIVER", argv[++i], 1);
    } else {
      return usage();
    }
  }

  std::string folder = (std::filesystem::temp_directory_path() / "wendlop-bench-sound-XXXXXX").string();
  if (!mkdtemp(folder.data()) || !sysChangeDirectory(folder.c_str())) {
    std::fprintf(stderr, "wendlop-bench-sound: cannot make a temporary folder\n");
    return 1;
  }
  // 10 ms blips: over long before the next trial starts.
  std::string wav = blipWav(480);
  for (int i = 0; i < SoundCount; ++i) {
    std::string path = "se/se" + std::to_string(i) + ".wav";
    if (!sysWriteFileAtomic(path.c_str(), wav.data(), wav.size())) {
      std::fprintf(stderr, "wendlop-bench-sound: cannot write %s\n", path.c_str());
      return 1;
    }
  }

  // 1. Mixer cost, no device.
  sysSetHeadless(true);
  initSoundBank();
  if (!soundBank.ready) return 1;
  {
    std::vector<int16_t> out(2 * SysAudioBufferFrames);
    const int rounds = 20000;
    int64_t start = nowNs();
    for (int r = 0; r < rounds; ++r) {
      // Restarted every buffer, so that all thirteen voices always sound.
      for (int id = 0; id < SoundCount; ++id) playEffect(id);
      mixAudio(out.data(), SysAudioBufferFrames, quietMusic);
    }
    double perBuffer = static_cast<double>(nowNs() - start) / rounds;
    int64_t playStart = nowNs();
    for (int r = 0; r < 1000000; ++r) playEffect(r % SoundCount);
    double perPlay = static_cast<double>(nowNs() - playStart) / 1e6;
    std::printf("mixer: %.1f us per %d-frame buffer with 13 voices and music (%.3f%% of its %.1f ms)\n",
                perBuffer / 1000.0, SysAudioBufferFrames,
                100.0 * perBuffer / (1e9 * SysAudioBufferFrames / SysAudioRate),
                1000.0 * SysAudioBufferFrames / SysAudioRate);
    std::printf("playEffect: %.1f ns per call\n", perPlay);
  }
  releaseSoundBank();

  // 2. The device.
  sysSetHeadless(false);
  initSoundBank();
  if (!sysAudioReady() || !soundBank.ready) {
    std::fprintf(stderr, "wendlop-bench-sound: %s\n", sysAudioError());
    std::filesystem::remove_all(folder);
    return 1;
  }
  sysSetMixer(timedMixer);
  sysSetMusicSource(nullptr);
  // Let the driver settle into its rhythm: a sound server may take a good
  // while before it asks for the first buffer.
  int64_t opened = nowNs();
  while (callbackCount.load(std::memory_order_acquire) < 30 && nowNs() - opened < 5000000000) sysSleep(5);
  std::printf("first 30 callbacks after %.0f ms\n", static_cast<double>(nowNs() - opened) / 1e6);
  callbackCount.store(0, std::memory_order_release);

  // 3. playEffect to the first buffer that carries the effect.
  std::mt19937 random(12345);
  std::vector<double> latencies;
  int missed = 0;
  for (int t = 0; t < trials; ++t) {
    sysSleep(25 + random() % 20);
    heardAt.store(0);
    waiting.store(true, std::memory_order_release);
    int callbacksBefore = callbackCount.load(std::memory_order_acquire);
    int64_t played = nowNs();
    playEffect(SoundSwitch);
    while (waiting.load(std::memory_order_acquire) && nowNs() - played < 1000000000) sysSleep(0);
    if (waiting.exchange(false)) {
      ++missed;
      std::printf("trial %d missed: %d callbacks ran in the %.0f ms after playEffect\n", t,
                  callbackCount.load(std::memory_order_acquire) - callbacksBefore,
                  static_cast<double>(nowNs() - played) / 1e6);
      continue;
    }
    latencies.push_back(static_cast<double>(heardAt.load() - played) / 1e6);
  }

  int callbacks = std::min(callbackCount.load(std::memory_order_acquire), kMaxCallbacks);
  std::vector<double> periods;
  for (int i = 1; i < callbacks; ++i) periods.push_back(static_cast<double>(callbackTimes[i] - callbackTimes[i - 1]) / 1e6);

  int frames = sysAudioBufferFrames();
  std::printf("driver: %s, device buffer %d frames (%.2f ms), mixer asked for %d frames per callback\n",
              sysAudioDriverName(), frames, 1000.0 * frames / SysAudioRate, lastFrames.load());
  if (!periods.empty()) {
    Stats p = stats(periods);
    std::printf("callback period over %zu callbacks: min %.2f  median %.2f  mean %.2f  p95 %.2f  max %.2f ms\n",
                periods.size(), p.min, p.median, p.mean, p.p95, p.max);
  }
  if (!latencies.empty()) {
    Stats l = stats(latencies);
    std::printf("playEffect to samples leaving the mixer, %zu trials: min %.2f  median %.2f  mean %.2f  p95 %.2f  max %.2f ms\n",
                latencies.size(), l.min, l.median, l.mean, l.p95, l.max);
    std::printf("  plus one device buffer before the driver has it: about %.2f ms on average to the driver\n",
                l.mean + 1000.0 * frames / SysAudioRate);
  }
  if (missed) std::printf("missed: %d trials never reached the mixer within 1 s\n", missed);

  releaseSoundBank();
  sysCloseAudio();
  std::filesystem::remove_all(folder);
  return missed ? 1 : 0;
}

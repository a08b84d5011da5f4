// wendlop-bench-music [SONG] [--seconds S] [--busy N]
//
// Prints three sets of figures:
//  - start-up: how long constructMusicPlayer takes (what the first frame
//    waits for) and how long until the SoundFont has loaded in the background,
//    for the default SoundFont, the large FluidR3 one if installed, and none;
//  - lateness of the timing thread's steps against their deadlines while the
//    song plays for S seconds (median, 99th percentile, maximum), optionally
//    with N busy threads competing for the CPU as a game would;
//  - the CPU share of the synthesizer: rendering the song offline, and the
//    whole process while it played in real time.
// Uses the real audio device; SDL_AUDIODRIVER=dummy plays into nothing at
// the real pace on a machine without a sound card.
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "music/music.h"
#include "music/song.h"
#include "platform/midi.h"
#include "platform/platform.h"
#include "platform/thread.h"

static std::vector<int64_t> latenessUs;

static void recordLateness(uint32_t deadline) {
  const uint64_t nowUs = sysMonotonicUs();
  const int32_t lateMs = static_cast<int32_t>(static_cast<uint32_t>(nowUs / 1000) - deadline);
  if (latenessUs.size() < latenessUs.capacity()) latenessUs.push_back(int64_t{lateMs} * 1000 + int64_t(nowUs % 1000));
}

static double seconds(uint64_t fromUs, uint64_t toUs) { return double(toUs - fromUs) / 1e6; }

static double cpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Median of five runs: the machine is shared, single runs wander.
static void measureStartUp(const char* label, const char* soundFont, int runs = 5) {
  std::vector<double> constructMs, fontMs;
  bool ready = false;
  for (int run = 0; run < runs; ++run) {
    if (soundFont) setenv("WENDLOP_SOUNDFONT", soundFont, 1);
    const uint64_t start = sysMonotonicUs();
    constructMusicPlayer();
    const uint64_t constructed = sysMonotonicUs();
    while (musicPlayer.ready && !sysMidiReadyToPlay() && sysMonotonicUs() - start < 10000000)
      sysSleepWhile(1, nullptr);
    const uint64_t fontIn = sysMonotonicUs();
    ready = musicPlayer.ready;
    teardownMusicPlayer();
    unsetenv("WENDLOP_SOUNDFONT");
    constructMs.push_back(seconds(start, constructed) * 1e3);
    fontMs.push_back(seconds(start, fontIn) * 1e3);
  }
  std::sort(constructMs.begin(), constructMs.end());
  std::sort(fontMs.begin(), fontMs.end());
  std::printf("start-up %-28s construct %7.2f ms   SoundFont loaded after %7.1f ms   %s (median of %d)\n", label,
              constructMs[runs / 2], fontMs[runs / 2], ready ? "ready" : "not ready", runs);
}

int main(int argc, char** argv) {
  const char* songPath = "data/midi/a002pop1.mid";
  long playSeconds = 60;
  int busyThreads = 0;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
      playSeconds = std::max(1L, std::atol(argv[++i]));
    } else if (!std::strcmp(argv[i], "--busy") && i + 1 < argc) {
      busyThreads = std::max(0, std::atoi(argv[++i]));
    } else if (argv[i][0] != '-') {
      songPath = argv[i];
    } else {
      std::fprintf(stderr, "usage: wendlop-bench-music [SONG] [--seconds S] [--busy N]\n");
      return 2;
    }
  }

  // Start-up. The first open includes opening the audio device.
  measureStartUp("(first, opens the device)", nullptr, 1);
  measureStartUp("TimGM6mb (default)", nullptr);
  if (FILE* f = std::fopen("/usr/share/sounds/sf2/FluidR3_GM.sf2", "rb")) {
    std::fclose(f);
    measureStartUp("FluidR3_GM", "/usr/share/sounds/sf2/FluidR3_GM.sf2");
  }
  measureStartUp("no SoundFont", "/nonexistent.sf2");

  // CPU share of rendering, offline: how much of one core 1 s of music costs.
  sysMidiSelect(SysMidiOffline);
  constructMusicPlayer();
  if (!musicPlayer.ready || !loadSong(songPath)) {
    std::fprintf(stderr, "wendlop-bench-music: cannot play %s\n", songPath);
    return 1;
  }
  {
    std::vector<int16_t> buffer(441 * 2);
    const double cpu0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    playing.store(true);
    for (long step = 0; step < playSeconds * 100; ++step) {
      advanceClock();
      sysMidiRender(buffer.data(), 441);
    }
    playing.store(false);
    const double cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu0;
    std::printf("offline render of %ld s: %.3f s CPU = %.2f %% of one core\n", playSeconds, cpu,
                100.0 * cpu / double(playSeconds));
  }
  teardownMusicPlayer();

  // Real time, on the device, with the timing thread.
  sysMidiSelect(SysMidiDefault);
  constructMusicPlayer();
  if (!musicPlayer.ready) return 1;
  while (!sysMidiReadyToPlay()) sysSleepWhile(1, nullptr);
  std::atomic<bool> busy{busyThreads > 0};
  std::vector<std::thread> burners;
  for (int i = 0; i < busyThreads; ++i)
    burners.emplace_back([&busy] {
      volatile uint64_t x = 0;
      while (busy.load(std::memory_order_relaxed)) x = x + 1;
    });
  latenessUs.reserve(static_cast<size_t>(playSeconds) * 100 + 1000);
  stepObserver = recordLateness;
  const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  loadSong(songPath);
  playSong();
  sysSleepWhile(static_cast<uint32_t>(playSeconds * 1000), nullptr);
  stopSong();
  unloadSong();
  const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  stepObserver = nullptr;
  busy.store(false);
  for (auto& t : burners) t.join();
  teardownMusicPlayer();

  std::sort(latenessUs.begin(), latenessUs.end());
  const size_t n = latenessUs.size();
  if (n == 0) return 1;
  std::printf("timing thread (%s scheduling, %d busy threads): %zu steps in %ld s\n",
              sysLastThreadRaised() ? "real-time" : "normal", busyThreads, n, playSeconds);
  std::printf("  lateness median %.3f ms   p99 %.3f ms   max %.3f ms\n", latenessUs[n / 2] / 1000.0,
              latenessUs[std::min(n - 1, n * 99 / 100)] / 1000.0, latenessUs[n - 1] / 1000.0);
  // With busy threads the process figure would count them too.
  if (!busyThreads)
    std::printf("real-time playback: process CPU %.2f %% of one core (synthesizer, mixer and timing thread)\n",
                100.0 * cpu / double(playSeconds));
  return 0;
}

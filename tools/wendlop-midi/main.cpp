// wendlop-midi FILE --dump [--steps N]
// wendlop-midi FILE --wav OUT.wav --seconds S
//
// --dump prints each message the sequencer sends, one a line: the number of
// the step that sent it (counting from 1 after the load), then its bytes in
// upper-case hex. The format is relied on by checks; keep it stable.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "music/music.h"
#include "music/song.h"
#include "platform/midi.h"
#include "platform/platform.h"
#include "wav_file.h"

static long currentStep = 0;

static void printMessage(const uint8_t* bytes, int length) {
  std::printf("%ld", currentStep);
  for (int i = 0; i < length; ++i) std::printf(" %02X", bytes[i]);
  std::putchar('\n');
}

static int usage() {
  std::fprintf(stderr,
               "usage: wendlop-midi FILE --dump [--steps N]\n"
               "       wendlop-midi FILE --wav OUT.wav --seconds S\n");
  return 2;
}

static bool parseCount(const char* text, long* value) {
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (!*text || *end || parsed < 0) return false;
  *value = parsed;
  return true;
}

static int dump(const char* file, long steps) {
  sysSetHeadless(true);
  sysMidiSelect(SysMidiRecorder);
  constructMusicPlayer();
  if (!loadSong(file)) {
    std::puts("load failed");
    teardownMusicPlayer();
    return 1;
  }
  sysMidiSetRecorder(printMessage);
  // The sequencer steps only while the player plays; no thread is started,
  // this loop is the clock.
  if (musicPlayer.songLoaded) {
    playing.store(true);
    for (currentStep = 1; currentStep <= steps; ++currentStep) advanceClock();
    playing.store(false);
  }
  sysMidiSetRecorder(nullptr);
  teardownMusicPlayer();
  return 0;
}


static int renderWav(const char* file, const char* outPath, long seconds) {
  sysMidiSelect(SysMidiOffline);
  constructMusicPlayer();
  if (!musicPlayer.ready) return 1;  // the output said why
  if (!loadSong(file)) {
    std::puts("load failed");
    teardownMusicPlayer();
    return 1;
  }
  enum { FramesPerStep = 441 };  // 10 ms at 44,100 Hz
  const long stepCount = seconds * 100;
  std::vector<int16_t> samples(static_cast<size_t>(stepCount) * FramesPerStep * 2);
  playing.store(musicPlayer.songLoaded);
  for (long step = 0; step < stepCount; ++step) {
    advanceClock();
    sysMidiRender(samples.data() + static_cast<size_t>(step) * FramesPerStep * 2, FramesPerStep);
  }
  playing.store(false);
  teardownMusicPlayer();

  const std::vector<uint8_t> wav = encodeWav16(samples.data(), samples.size(), 2, 44100);
  if (!sysWriteFileAtomic(outPath, wav.data(), wav.size())) {
    std::fprintf(stderr, "wendlop-midi: cannot write %s\n", outPath);
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const char* file = argv[1];
  bool wantDump = false;
  const char* wavPath = nullptr;
  long steps = 6000;
  long seconds = -1;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dump") {
      wantDump = true;
    } else if (arg == "--steps" && i + 1 < argc) {
      if (!parseCount(argv[++i], &steps)) return usage();
    } else if (arg == "--wav" && i + 1 < argc) {
      wavPath = argv[++i];
    } else if (arg == "--seconds" && i + 1 < argc) {
      if (!parseCount(argv[++i], &seconds) || seconds > 3600) return usage();
    } else {
      return usage();
    }
  }
  if (wantDump == (wavPath != nullptr)) return usage();
  if (wantDump) return dump(file, steps);
  if (seconds < 0) return usage();
  return renderWav(file, wavPath, seconds);
}

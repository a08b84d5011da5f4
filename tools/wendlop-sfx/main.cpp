// wendlop-sfx --src DIR --out DIR [--stats]
// Renders DIR/se0.sfx .. se12.sfx into OUT/se/se0.wav .. se12.wav.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sfx_synth.h"
#include "wav_file.h"

namespace fs = std::filesystem;

static constexpr int effectCount = 13;

static int usage() {
  std::fprintf(stderr, "usage: wendlop-sfx --src DIR --out DIR [--stats]\n");
  return 2;
}

static double dbfs(double amplitude) {
  return amplitude > 0 ? 20.0 * std::log10(amplitude / 32768.0) : -INFINITY;
}

int main(int argc, char** argv) {
  std::string src, out;
  bool stats = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--src") && i + 1 < argc) src = argv[++i];
    else if (!std::strcmp(argv[i], "--out") && i + 1 < argc) out = argv[++i];
    else if (!std::strcmp(argv[i], "--stats")) stats = true;
    else return usage();
  }
  if (src.empty() || out.empty()) return usage();

  // Every source is read and rendered before anything is written, so that a
  // mistake in one of them leaves the output folder as it was.
  std::vector<std::vector<int16_t>> rendered;
  for (int id = 0; id < effectCount; ++id) {
    fs::path source = fs::path(src) / ("se" + std::to_string(id) + ".sfx");
    std::ifstream in(source, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "wendlop-sfx: cannot read %s\n", source.c_str());
      return 1;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SfxEffect effect;
    std::string error;
    if (!sfxParse(text, effect, error)) {
      std::fprintf(stderr, "wendlop-sfx: %s: %s\n", source.c_str(), error.c_str());
      return 1;
    }
    rendered.push_back(sfxRender(effect));
  }

  std::error_code ec;
  fs::create_directories(fs::path(out) / "se", ec);
  if (ec) {
    std::fprintf(stderr, "wendlop-sfx: cannot create %s/se: %s\n", out.c_str(), ec.message().c_str());
    return 1;
  }
  if (stats) std::printf("%-8s %8s %10s %10s\n", "effect", "ms", "peak dBFS", "RMS dBFS");

  for (int id = 0; id < effectCount; ++id) {
    const std::vector<int16_t>& samples = rendered[size_t(id)];
    std::vector<uint8_t> wav = encodeWav16(samples.data(), samples.size(), 1, sfxRate);

    // Written beside and renamed, so that a failed run never leaves half a file.
    fs::path target = fs::path(out) / "se" / ("se" + std::to_string(id) + ".wav");
    fs::path partial = target;
    partial += ".part";
    {
      std::ofstream file(partial, std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(wav.data()), std::streamsize(wav.size()));
      if (!file.flush()) {
        std::fprintf(stderr, "wendlop-sfx: cannot write %s\n", partial.c_str());
        file.close();
        fs::remove(partial, ec);
        return 1;
      }
    }
    fs::rename(partial, target, ec);
    if (ec) {
      std::fprintf(stderr, "wendlop-sfx: cannot write %s: %s\n", target.c_str(), ec.message().c_str());
      fs::remove(partial, ec);
      return 1;
    }

    if (stats) {
      double peak = 0, sum = 0;
      for (int16_t s : samples) {
        peak = std::max(peak, std::fabs(double(s)));
        sum += double(s) * s;
      }
      double rms = samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
      std::printf("se%-6d %8.1f %10.2f %10.2f\n", id, samples.size() * 1000.0 / sfxRate, dbfs(peak), dbfs(rms));
    }
  }
  return 0;
}

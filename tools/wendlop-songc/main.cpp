// wendlop-songc --src DIR --out DIR [--unroll N]
// Compiles every DIR/*.song into OUT/midi/<name>.mid. With --unroll the files go to
// OUT/listen/ instead, with the loop written out N times for ordinary MIDI players.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "songc.h"

namespace fs = std::filesystem;

static int usage() {
  std::fprintf(stderr, "usage: wendlop-songc --src DIR --out DIR [--unroll N]\n");
  return 2;
}

int main(int argc, char** argv) {
  std::string src, out;
  int unroll = 0;
  for (int i = 1; i < argc; ++i) {
    if (i + 1 < argc && std::strcmp(argv[i], "--src") == 0) src = argv[++i];
    else if (i + 1 < argc && std::strcmp(argv[i], "--out") == 0) out = argv[++i];
    else if (i + 1 < argc && std::strcmp(argv[i], "--unroll") == 0) unroll = std::atoi(argv[++i]);
    else return usage();
  }
  if (src.empty() || out.empty() || unroll < 0 || unroll > 100) return usage();

  std::error_code ec;
  std::vector<fs::path> sources;
  for (fs::directory_iterator it(src, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".song") sources.push_back(it->path());
  if (ec) {
    std::fprintf(stderr, "wendlop-songc: cannot read the folder %s\n", src.c_str());
    return 1;
  }
  if (sources.empty()) {
    std::fprintf(stderr, "wendlop-songc: no .song files in %s\n", src.c_str());
    return 1;
  }
  std::sort(sources.begin(), sources.end());

  // Compile everything before writing anything: a broken song leaves the
  // output folder as it was rather than half updated.
  std::vector<std::pair<fs::path, std::vector<uint8_t>>> outputs;
  int failures = 0;
  for (const fs::path& path : sources) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "wendlop-songc: cannot read %s\n", path.c_str());
      ++failures;
      continue;
    }
    songc::SongResult song = songc::compileSong(text, path.stem().string(), unroll);
    if (!song.ok) {
      std::fprintf(stderr, "%s\n", song.error.c_str());
      ++failures;
      continue;
    }
    outputs.push_back({path.stem().string() + ".mid", std::move(song.midi)});
  }
  if (failures > 0) return 1;

  fs::path target = fs::path(out) / (unroll > 0 ? "listen" : "midi");
  fs::create_directories(target, ec);
  if (ec) {
    std::fprintf(stderr, "wendlop-songc: cannot create %s\n", target.c_str());
    return 1;
  }
  for (const auto& [name, bytes] : outputs) {
    fs::path file = target / name;
    std::ofstream o(file, std::ios::binary | std::ios::trunc);
    o.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    o.close();
    if (!o) {
      std::fprintf(stderr, "wendlop-songc: cannot write %s\n", file.c_str());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}

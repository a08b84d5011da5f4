// wendlop-stagec: compiles stage text into stage files, and back.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pack/pack.h"
#include "world/stagetext.h"

namespace fs = std::filesystem;

namespace {
int usage() {
  std::fputs(
      "Usage: wendlop-stagec compile STAGE.txt OUT.fmf\n"
      "       wendlop-stagec decompile STAGE.fmf          (prints the stage text)\n"
      "       wendlop-stagec --src DIR --out DIR           (every DIR/mapNN.txt to OUT/map/mapNN.fmf)\n"
      "       wendlop-stagec --pack DIR --out DIR          (a pack: DIR/pack.ini and DIR/stages/mapNN.txt\n"
      "                                                     to OUT/packs/NAME/, NAME the last part of DIR)\n",
      stderr);
  return 2;
}

bool readText(const fs::path& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return true;
}

bool compileFile(const fs::path& in, const fs::path& out) {
  std::string text, error;
  if (!readText(in, &text)) {
    std::fprintf(stderr, "wendlop-stagec: cannot read %s\n", in.c_str());
    return false;
  }
  uint8_t image[620];
  if (!compileStageText(text, image, &error)) {
    std::fprintf(stderr, "%s: %s\n", in.c_str(), error.c_str());
    return false;
  }
  fs::create_directories(out.parent_path().empty() ? fs::path(".") : out.parent_path());
  std::ofstream o(out, std::ios::binary);
  o.write(reinterpret_cast<const char*>(image), sizeof image);
  return static_cast<bool>(o);
}
// A pack's sources: pack.ini, read as the game reads it and written as the
// game writes it, and its stages DIR/stages/mapNN.txt from 01 on without a gap.
bool compilePack(const fs::path& source, const fs::path& outData) {
  fs::path folder = fs::absolute(source).lexically_normal();
  if (!folder.has_filename()) folder = folder.parent_path();  // "DIR/"
  const fs::path out = outData / "packs" / folder.filename();
  std::string text, problem;
  PackInfo info;
  if (!readText(source / "pack.ini", &text) || !parsePackIni(text, &info, &problem)) {
    std::fprintf(stderr, "%s: %s\n", (source / "pack.ini").c_str(), problem.empty() ? "cannot be read" : problem.c_str());
    return false;
  }
  auto stageText = [&](int n) {
    char name[24];
    std::snprintf(name, sizeof name, "map%02d.txt", n);
    return source / "stages" / name;
  };
  int stages = 0;
  while (stages < MostPackStages && fs::exists(stageText(stages + 1))) ++stages;
  if (stages == 0) {
    std::fprintf(stderr, "wendlop-stagec: %s has no stages/map01.txt\n", source.c_str());
    return false;
  }
  bool ok = true;
  for (int n = 1; n <= stages; ++n) ok = compileFile(stageText(n), out / stagePathIn("", n)) && ok;
  const std::string ini = formatPackIni(info);
  std::ofstream o(out / "pack.ini", std::ios::binary);
  o << ini;
  return ok && static_cast<bool>(o);
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "compile") return compileFile(args[1], args[2]) ? 0 : 1;
  if (args.size() == 2 && args[0] == "decompile") {
    std::ifstream in(args[1], std::ios::binary);
    uint8_t image[620] = {};
    in.read(reinterpret_cast<char*>(image), sizeof image);
    if (in.gcount() != 620) {
      std::fprintf(stderr, "wendlop-stagec: %s is not a 620-byte stage file\n", args[1].c_str());
      return 1;
    }
    std::string text, error;
    if (!decompileStage(image, &text, &error)) {
      std::fprintf(stderr, "wendlop-stagec: %s cannot be written as stage text: %s\n", args[1].c_str(), error.c_str());
      return 1;
    }
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (args.size() == 4 && args[0] == "--src" && args[2] == "--out") {
    std::vector<fs::path> sources;
    for (const auto& entry : fs::directory_iterator(args[1])) {
      const std::string name = entry.path().filename().string();
      if (name.size() == 9 && name.rfind("map", 0) == 0 && entry.path().extension() == ".txt") sources.push_back(entry.path());
    }
    bool ok = true;
    for (const auto& src : sources) {
      ok = compileFile(src, fs::path(args[3]) / "map" / (src.stem().string() + ".fmf")) && ok;
    }
    return ok ? 0 : 1;
  }
  if (args.size() == 4 && args[0] == "--pack" && args[2] == "--out") return compilePack(args[1], args[3]) ? 0 : 1;
  return usage();
}

// wendlop-replay: turns a written solution of a stage into the replay file
// that recording the same clicks in the game would have written.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/game_state.h"
#include "app/shell.h"
#include "flow/flow.h"
#include "pack/pack.h"
#include "platform/platform.h"
#include "solve/replay_build.h"
#include "world/world.h"

namespace fs = std::filesystem;

namespace {
// The pack whose stages the solutions are of; the built-in one when none is given.
Pack givenPack;
bool packGiven = false;

struct Action {
  int frame;     // Playing frame of the press, counting from 0
  bool onWalker; // a press on the walker, wherever it is then
  int row, col;  // otherwise the cell pressed
  int line;
};

bool parseSolution(const std::string& text, std::vector<Action>* actions, std::string* error) {
  std::istringstream in(text);
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    if (auto semi = line.find(';'); semi != std::string::npos) line.resize(semi);
    std::istringstream words(line);
    std::string verb;
    if (!(words >> verb)) continue;
    Action a{};
    a.line = lineNumber;
    if (verb == "press" && (words >> a.frame >> a.row >> a.col)) {
      a.onWalker = false;
    } else if (verb == "walker" && (words >> a.frame)) {
      a.onWalker = true;
    } else {
      *error = "line " + std::to_string(lineNumber) + ": expected 'press FRAME ROW COL' or 'walker FRAME'";
      return false;
    }
    // In playback the frames before Playing already read record 0, so a press
    // in Playing frame 0 would be seen as a button held down.
    if (a.frame < 1 || a.frame >= ReplayRecords - 1 || (!a.onWalker && !insideGrid(a.row, a.col))) {
      *error = "line " + std::to_string(lineNumber) + ": frame (1 to 3598) or cell out of range";
      return false;
    }
    actions->push_back(a);
  }
  std::sort(actions->begin(), actions->end(), [](const Action& x, const Action& y) { return x.frame < y.frame; });
  for (size_t i = 1; i < actions->size(); ++i) {
    if ((*actions)[i].frame <= (*actions)[i - 1].frame + 1) {
      *error = "line " + std::to_string((*actions)[i].line) + ": a press needs the button up in the frame before";
      return false;
    }
  }
  return true;
}

// Plays the stage as a demonstration while writing each Playing frame's
// record just before that frame samples it. True when the stage is cleared.
bool build(int stage, const std::vector<Action>& actions, int* playingFrames, std::string* error) {
  startDemonstration(stage, "", false);
  // As an import proves a pack: the game reset, with that pack alone.
  if (packGiven) {
    packState = PackState{};
    packState.packs.push_back(givenPack);
  }
  std::vector<Press> presses;
  for (const Action& a : actions) presses.push_back(Press{a.frame, a.onWalker, a.row, a.col});
  size_t unused = 0;
  if (buildReplay(presses, playingFrames, error, &unused)) return true;
  if (unused < actions.size() && error->rfind("the stage ended", 0) == 0)
    *error = "the stage ended before the press of line " + std::to_string(actions[unused].line);
  return false;
}

bool readText(const fs::path& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return true;
}

bool makeReplay(int stage, const fs::path& solution, const fs::path& out) {
  std::string text, error;
  std::vector<Action> actions;
  if (!readText(solution, &text)) {
    std::fprintf(stderr, "wendlop-replay: cannot read %s\n", solution.c_str());
    return false;
  }
  int playing = 0;
  if (!parseSolution(text, &actions, &error) || !build(stage, actions, &playing, &error)) {
    std::fprintf(stderr, "%s: %s\n", solution.c_str(), error.c_str());
    return false;
  }
  std::error_code ec;
  fs::create_directories(out.parent_path(), ec);
  std::ofstream o(out, std::ios::binary);
  o.write(reinterpret_cast<const char*>(replayBuffer), ReplayBytes);
  if (!o) {
    std::fprintf(stderr, "wendlop-replay: cannot write %s\n", out.c_str());
    return false;
  }
  std::printf("stage=%d clicks=%zu playing=%d\n", stage, actions.size(), playing);
  return true;
}

int usage() {
  std::fputs(
      "Usage: wendlop-replay --data DIR [--pack DIR] --stage N SOLUTION.txt OUT.dat\n"
      "       wendlop-replay --data DIR [--pack DIR] --src DIR --out DIR   (every NN.txt to OUT/replay/NN.dat)\n"
      "--pack takes the stages of the pack in that folder instead of the built-in ones;\n"
      "with --src their replays go to OUT/packs/NAME/replay/NN.dat, NAME the pack's folder's.\n",
      stderr);
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2 || args[0] != "--data") return usage();
  sysSetHeadless(true);
  const fs::path data = fs::absolute(args[1]);
  if (args.size() >= 4 && args[2] == "--pack") {
    std::string problem;
    fs::path folder = fs::absolute(args[3]).lexically_normal();
    if (!folder.has_filename()) folder = folder.parent_path();  // "DIR/"
    if (!readPack(folder.string(), &givenPack, &problem)) {
      std::fprintf(stderr, "wendlop-replay: %s is no stage pack: it %s\n", args[3].c_str(), problem.c_str());
      return 2;
    }
    packGiven = true;
    args.erase(args.begin() + 2, args.begin() + 4);
  }
  std::vector<std::pair<int, std::pair<fs::path, fs::path>>> jobs;
  if (args.size() == 6 && args[2] == "--stage") {
    jobs.push_back({std::atoi(args[3].c_str()), {fs::absolute(args[4]), fs::absolute(args[5])}});
  } else if (args.size() == 6 && args[2] == "--src" && args[4] == "--out") {
    // OUT is a data folder: a pack's solutions go where it has the pack.
    fs::path outFolder = fs::absolute(args[5]);
    if (packGiven) outFolder = outFolder / "packs" / fs::path(givenPack.folder).filename();
    for (const auto& entry : fs::directory_iterator(args[3])) {
      const std::string stem = entry.path().stem().string();
      if (entry.path().extension() != ".txt" || stem.size() != 2 || !std::isdigit(stem[0]) || !std::isdigit(stem[1]))
        continue;
      jobs.push_back({std::atoi(stem.c_str()), {fs::absolute(entry.path()), outFolder / "replay" / (stem + ".dat")}});
    }
    std::sort(jobs.begin(), jobs.end());
  } else {
    return usage();
  }
  if (!sysChangeDirectory(data.c_str())) {
    std::fprintf(stderr, "wendlop-replay: no data folder %s\n", data.c_str());
    return 2;
  }
  bool ok = true;
  for (const auto& [stage, paths] : jobs) ok = makeReplay(stage, paths.first, paths.second) && ok;
  return ok ? 0 : 1;
}

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
#include "platform/platform.h"
#include "world/world.h"

namespace fs = std::filesystem;

namespace {
struct Action {
  int frame;     // Playing frame of the press, counting from 0
  bool onWalker; // a press on the walker, wherever it is then
  int row, col;  // otherwise the cell pressed
  int line;
};

// How many frames the cursor takes to glide to the next place it presses.
constexpr int GlideFrames = 24;

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

void target(const Action& a, int* x, int* y) {
  if (a.onWalker) {
    *x = walker.x + 16;
    *y = walker.y;
  } else {
    *x = a.col * CellSize + 16;
    *y = a.row * CellSize + 16;
  }
}


// Plays the stage as a demonstration while writing each Playing frame's
// record just before that frame samples it. True when the stage is cleared.
bool build(int stage, const std::vector<Action>& actions, int* playingFrames, std::string* error) {
  startDemonstration(stage, "", false);

  size_t next = 0;
  int fromX = 320, fromY = 240;
  bool cleared = false;
  *playingFrames = 0;
  for (long frame = 0; frame < 20000; ++frame) {
    const int ranScene = flow.scene;
    if (ranScene == Playing) {
      const int k = flow.replayIndex;
      int x = fromX, y = fromY, button = 0;
      if (next < actions.size()) {
        int tx, ty;
        target(actions[next], &tx, &ty);
        const int start = std::max(actions[next].frame - GlideFrames, 0);
        if (k == actions[next].frame) {
          x = tx;
          y = ty;
          button = 1;
          fromX = tx;
          fromY = ty;
          ++next;
        } else if (k > start) {
          const int span = actions[next].frame - start;
          x = fromX + (tx - fromX) * (k - start) / span;
          y = fromY + (ty - fromY) * (k - start) / span;
        }
      }
      putReplayRecord(k, x, y, button);
      ++*playingFrames;
    }
    runFrameWork();
    if (ranScene == StageClear) cleared = true;
    if (ranScene == Miss) {
      *error = "the walker is lost at Playing frame " + std::to_string(*playingFrames);
      return false;
    }
    if (ranScene != Title && flow.scene == Title) break;
  }
  if (next < actions.size()) {
    *error = "the stage ended before the press of line " + std::to_string(actions[next].line);
    return false;
  }
  if (!cleared) *error = "the stage is not cleared";
  return cleared;
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
      "Usage: wendlop-replay --data DIR --stage N SOLUTION.txt OUT.dat\n"
      "       wendlop-replay --data DIR --src DIR --out DIR   (every NN.txt to OUT/replay/NN.dat)\n",
      stderr);
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2 || args[0] != "--data") return usage();
  sysSetHeadless(true);
  const fs::path data = fs::absolute(args[1]);
  std::vector<std::pair<int, std::pair<fs::path, fs::path>>> jobs;
  if (args.size() == 6 && args[2] == "--stage") {
    jobs.push_back({std::atoi(args[3].c_str()), {fs::absolute(args[4]), fs::absolute(args[5])}});
  } else if (args.size() == 6 && args[2] == "--src" && args[4] == "--out") {
    for (const auto& entry : fs::directory_iterator(args[3])) {
      const std::string stem = entry.path().stem().string();
      if (entry.path().extension() != ".txt" || stem.size() != 2 || !std::isdigit(stem[0]) || !std::isdigit(stem[1]))
        continue;
      jobs.push_back({std::atoi(stem.c_str()), {fs::absolute(entry.path()), fs::absolute(args[5]) / "replay" / (stem + ".dat")}});
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

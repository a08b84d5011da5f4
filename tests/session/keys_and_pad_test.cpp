// The whole game played without the mouse: keys alone, and a gamepad alone,
// from the title to a cleared stage, each writing the very replay that the
// mouse writes for the same clicks; and a gamepad's stick, its drag and its
// unplugging as the frames sample them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/pointer_moves.h"
#include "session_support.h"

using namespace session;

namespace {

constexpr int ClearPauseFrames = 120;
enum { TitleScene = 0, PlayingScene = 4, StageClearScene = 7 };

// The clicks of a committed solution: the Playing frames of its lines.
std::vector<int> solutionFrames(int stage) {
  char name[64];
  std::snprintf(name, sizeof name, "/assets/solutions/%02d.txt", stage);
  std::istringstream in(slurp(std::string(WENDLOP_SOURCE_DIR) + name));
  std::vector<int> frames;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line.substr(0, line.find(';')));
    std::string verb;
    int frame = 0;
    if (words >> verb >> frame) frames.push_back(frame);
  }
  std::sort(frames.begin(), frames.end());
  return frames;
}

// How one kind of player says "arrow" and "button": the keyboard or a pad.
// Each is the script's lines after the frame number, one or more.
struct Hands {
  std::string name;
  std::vector<std::string> left, right, up, down;  // a whole press of each
  std::string buttonDown, buttonUp;
};
const Hands keyboard{"keys", {"key Left"}, {"key Right"}, {"key Up"}, {"key Down"}, "keydown Space", "keyup Space"};
const Hands gamepad{"pad",
                    {"pad dpleft down", "pad dpleft up"},
                    {"pad dpright down", "pad dpright up"},
                    {"pad dpup down", "pad dpup up"},
                    {"pad dpdown down", "pad dpdown up"},
                    "pad a down",
                    "pad a up"};

// The Playing frames of the presses in a replay file's bytes.
std::vector<int> pressFrames(const std::string& bytes) {
  std::vector<int> frames;
  int before = 0;
  for (size_t i = 0; i + 6 <= bytes.size(); i += 6) {
    const int button = static_cast<unsigned char>(bytes[i + 4]);
    if (button == 1 && before == 0) frames.push_back(static_cast<int>(i / 6));
    before = button;
  }
  return frames;
}

// Two scripts of the same play: one by `hands`, one by the mouse, which
// clicks wherever the hands put the pointer and moves there at the same frames.
struct Plan {
  std::string hands, mouse;
  long last = 0;
};

class Planner {
 public:
  explicit Planner(const Hands& h) : h_(h) {}
  Plan plan;

  void line(long frame, const std::string& what) { plan.hands += std::to_string(frame) + " " + what + "\n"; }
  void lines(long frame, const std::vector<std::string>& what) {
    for (const std::string& w : what) line(frame, w);
  }
  void mouse(long frame, int button) {
    plan.mouse += std::to_string(frame) + " " + std::to_string(x_) + " " + std::to_string(y_) + " " +
                  std::to_string(button) + "\n";
  }
  // An arrow, on the title or in a stage, as the game moves the pointer for it.
  void arrow(long frame, int dx, int dy, bool title) {
    lines(frame, dx < 0 ? h_.left : dx > 0 ? h_.right : dy < 0 ? h_.up : h_.down);
    PointerPoint to;
    if (title) {
      const TitleItem* from = moved_ ? titleTargetAt(x_, y_) : nullptr;
      const TitleItem* item = from ? titleStep(from, dx, dy) : titleStep(nullptr, 0, 0);
      to = titleItemCentre(*item);
    } else {
      to = cellStep(x_, y_, dx, dy);
    }
    moved_ = true;
    x_ = to.x;
    y_ = to.y;
    mouse(frame, 0);
  }
  // The button down in `frame` and up in the next.
  void click(long frame) {
    line(frame, h_.buttonDown);
    line(frame + 1, h_.buttonUp);
    mouse(frame, 1);
    mouse(frame + 1, 0);
  }
  // Arrows to the centre of the cell under (x, y); always at least one, so
  // that the pointer ends on the centre.
  void toCell(long frame, int x, int y) {
    const int col = x / 32, row = y / 32;
    if (col == x_ / 32 && row == y_ / 32) arrow(frame, col > 0 ? -1 : 1, 0, false);
    while (x_ / 32 != col) arrow(frame, x_ / 32 < col ? 1 : -1, 0, false);
    while (y_ / 32 != row) arrow(frame, 0, y_ / 32 < row ? 1 : -1, false);
  }

 private:
  const Hands& h_;
  int x_ = 320, y_ = 240;
  bool moved_ = false;
};

// From the title: the first arrow to [START], Right twice to the next-stage
// arrow and a click for each stage past the first, Left twice back, a click
// on [START], a click to start play, then every press of the stage's
// demonstration at its Playing frame, moved to by arrows.
Plan planStage(const Hands& hands, int stage, int clearing) {
  Planner p(hands);
  long f = 2;
  p.arrow(f, 1, 0, true);
  if (stage > 1) {
    p.arrow(++f, 1, 0, true);
    p.arrow(f, 1, 0, true);
    for (int i = 1; i < stage; ++i) p.click(f += 2);
    p.arrow(f += 2, -1, 0, true);
    p.arrow(f, -1, 0, true);
  }
  p.click(f += 2);
  const long ready = f + 3;
  p.click(ready);
  for (const Press& press : replayPresses(stage)) {
    const long at = ready + 1 + press.frame;
    p.toCell(at, press.at.x, press.at.y);
    p.click(at);
  }
  p.plan.last = ready + clearing + ClearPauseFrames / 2;
  return p.plan;
}

TEST(WithoutAMouse, KeysOrAPadAloneClearAStageWithTheMousesReplay) {
  // A press on the walker, and presses on cells and 2 x 2 pieces of a stage
  // chosen on the selector.
  for (const int stage : {1, 10}) {
    const int clearing = clearingFrames(stage);
    ASSERT_GT(clearing, 0);
    const std::vector<Press> presses = replayPresses(stage);
    std::vector<int> solution;
    for (const Press& p : presses) solution.push_back(p.frame);
    ASSERT_EQ(solution, solutionFrames(stage)) << "stage " << stage << "'s replay is not its solution";
    for (const Hands* hands : {&keyboard, &gamepad}) {
      const Plan plan = planStage(*hands, stage, clearing);
      const std::string tag = hands->name + "-" + std::to_string(stage);
      const std::string args = "--record --replay-out replays --frames " + std::to_string(plan.last);
      const SessionRun byHands = runSession(tag, plan.hands, args);
      const SessionRun byMouse = runSession(tag + "-mouse", plan.mouse, args);
      ASSERT_EQ(byHands.code, 0) << byHands.err;
      ASSERT_EQ(byMouse.code, 0) << byMouse.err;
      bool cleared = false;
      for (const Frame& f : byHands.frames) cleared = cleared || f["scene"] == StageClearScene;
      EXPECT_TRUE(cleared) << tag << " did not clear the stage";
      char name[16];
      std::snprintf(name, sizeof name, "%02d.dat", stage);
      const std::string replay = slurp(byHands.dir / "replays" / name);
      ASSERT_EQ(replay.size(), 21600u) << tag << ": no replay written";
      EXPECT_TRUE(replay == slurp(byMouse.dir / "replays" / name)) << tag << ": not the mouse's replay";
      // The replay presses at the solution's frames, and as a demonstration clears the stage.
      EXPECT_EQ(pressFrames(replay), solution) << tag;
      const std::string result =
          [&] {
            std::string out;
            const std::string command = sim + " --data " + gameData + " --stage " + std::to_string(stage) +
                                        " --replay " + (byHands.dir / "replays" / name).string();
            if (FILE* p = popen(command.c_str(), "r")) {
              char buffer[256];
              while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
              pclose(p);
            }
            return out;
          }();
      EXPECT_NE(result.find("result=clear"), std::string::npos) << tag << ": " << result;
      fs::remove_all(byHands.dir);
      fs::remove_all(byMouse.dir);
    }
  }
}

// Every frame's pointer sample from a run's trace: x, y, button.
struct Sample {
  int x = -1, y = -1, button = -1;
};
std::map<long, Sample> samples(const SessionRun& run) {
  std::map<long, Sample> out;
  std::istringstream lines(slurp(run.dir / "trace.jsonl"));
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find("\"ptr\":[");
    if (at == std::string::npos) continue;
    Sample s;
    std::sscanf(line.c_str() + at + 7, "%d,%d,%d", &s.x, &s.y, &s.button);
    out[parseFrame(line)["f"]] = s;
  }
  return out;
}

// In play: the d-pad moves a cell at a time, A held through frames is held
// in every sample and drags, the stick moves the pointer only outside its
// dead zone and faster the further it leans, and a pad pulled out while A is
// held lets the button go.
TEST(WithoutAMouse, APadsStickDragAndUnplugging) {
  std::string script =
      "2 pad added\n"
      "5 pad dpright down\n5 pad dpright up\n"                  // to [START]
      "6 pad a down\n7 pad a up\n"                              // START
      "12 pad a down\n13 pad a up\n"                            // play
      "20 pad dpdown down\n20 pad dpdown up\n"                  // from (11, 7) to (12, 7)
      "21 pad a down\n"                                         // held from here
      "24 pad dpright down\n24 pad dpright up\n"
      "27 pad dpright down\n27 pad dpright up\n"
      "30 pad leftx 5000\n"                                     // inside the dead zone
      "40 pad leftx 16000\n"                                    // a little out: slow
      "50 pad leftx 32767\n"                                    // full tilt
      "60 pad leftx 0\n"
      "62 pad removed\n"                                        // A still held
      "69 pad a up\n";
  const SessionRun run = runSession("stick", script);
  ASSERT_EQ(run.code, 0) << run.err;
  std::map<long, Sample> ptr = samples(run);
  ASSERT_EQ(ptr.size(), 69u);
  for (const Frame& f : run.frames) {
    if (f["f"] == 7) {
      EXPECT_EQ(f["scene"], 2) << "START was not pressed";
    }
    if (f["f"] == 13) {
      EXPECT_EQ(f["scene"], PlayingScene);
    }
  }
  EXPECT_EQ(ptr[20].x, 240);
  EXPECT_EQ(ptr[20].y, 400);
  EXPECT_EQ(ptr[20].button, 0);
  for (long f = 21; f <= 61; ++f) EXPECT_EQ(ptr[f].button, 1) << "frame " << f;
  EXPECT_EQ(ptr[62].button, 0) << "unplugged, the button is still down";
  EXPECT_EQ(ptr[26].x, 272);
  EXPECT_EQ(ptr[29].x, 304);
  for (long f = 30; f < 40; ++f) EXPECT_EQ(ptr[f].x, 304) << "moved inside the dead zone";
  for (long f = 40; f < 50; ++f) {
    const int step = ptr[f].x - ptr[f - 1].x;
    EXPECT_TRUE(step == 1 || step == 2) << "frame " << f << ": " << step;
  }
  for (long f = 50; f < 60; ++f) {
    const int step = ptr[f].x - ptr[f - 1].x;
    EXPECT_TRUE(step == 10 || step == 11) << "frame " << f << ": " << step;
  }
  EXPECT_EQ(ptr[61].x, ptr[59].x);
  for (long f = 21; f <= 69; ++f) EXPECT_EQ(ptr[f].y, 400);
  fs::remove_all(run.dir);
}

}  // namespace

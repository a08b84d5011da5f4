// Runs `wendlop-sim --session` on a script and reads back what a player would
// have seen, frame by frame: the scene, the stage, lives, the effects and the
// music calls. End-to-end tests of the whole game build their scripts here.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace session {

namespace fs = std::filesystem;

inline const std::string sim = std::string(WENDLOP_BINARY_DIR) + "/tools/wendlop-sim/wendlop-sim";
inline const std::string gameData = std::string(WENDLOP_SOURCE_DIR) + "/data";

// One trace line: every number under its key, and the lists.
struct Frame {
  std::map<std::string, long> n;
  std::vector<int> fx;
  std::vector<std::string> music;
  long operator[](const std::string& key) const {
    const auto it = n.find(key);
    return it == n.end() ? -999999 : it->second;
  }
};

// The trace's objects are flat but for a few lists; this reads exactly that shape.
inline Frame parseFrame(const std::string& line) {
  Frame f;
  size_t i = 0;
  while ((i = line.find('"', i)) != std::string::npos) {
    const size_t close = line.find('"', i + 1);
    if (close == std::string::npos || close + 1 >= line.size() || line[close + 1] != ':') {
      i = close == std::string::npos ? line.size() : close + 1;
      continue;
    }
    const std::string key = line.substr(i + 1, close - i - 1);
    size_t v = close + 2;
    if (line[v] == '[') {
      const size_t end = line.find(']', v);  // the lists of interest hold no nested lists
      const std::string body = line.substr(v + 1, end - v - 1);
      if (key == "fx") {
        std::istringstream in(body);
        for (std::string item; std::getline(in, item, ',');) f.fx.push_back(std::atoi(item.c_str()));
      } else if (key == "music") {
        for (size_t q = body.find('"'); q != std::string::npos; q = body.find('"', q)) {
          const size_t qe = body.find('"', q + 1);
          f.music.push_back(body.substr(q + 1, qe - q - 1));
          q = qe + 1;
        }
      }
      // Skip the whole list, nested ones included.
      int depth = 0;
      for (; v < line.size(); ++v) {
        if (line[v] == '[') ++depth;
        if (line[v] == ']' && --depth == 0) break;
      }
      i = v + 1;
    } else if (line[v] == '"') {
      i = line.find('"', v + 1) + 1;
    } else {
      f.n[key] = std::strtol(line.c_str() + v, nullptr, 10);
      i = v;
    }
  }
  return f;
}

struct SessionRun {
  int code = -1;
  std::string out, err;
  std::vector<Frame> frames;
  std::string summary;  // the last line of standard output
  fs::path dir;         // the run's own folder: script, trace, outputs
};

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs a session script in a folder of its own under the system's temporary
// folder (named after `name`), with `args` after the script.
inline SessionRun runSession(const std::string& name, const std::string& script, const std::string& args = "",
                      const std::string& data = gameData) {
  SessionRun r;
  r.dir = fs::temp_directory_path() / ("wendlop-session-" + std::to_string(getpid()) + "-" + name);
  fs::remove_all(r.dir);
  fs::create_directories(r.dir);
  std::ofstream(r.dir / "input.txt") << script;
  const std::string command = "cd " + r.dir.string() + " && " + sim + " --session input.txt --data " + data +
                              " --trace trace.jsonl " + args + " >out.txt 2>err.txt";
  const int status = std::system(command.c_str());
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = slurp(r.dir / "out.txt");
  r.err = slurp(r.dir / "err.txt");
  std::istringstream lines(slurp(r.dir / "trace.jsonl"));
  for (std::string line; std::getline(lines, line);) r.frames.push_back(parseFrame(line));
  std::istringstream outLines(r.out);
  for (std::string line; std::getline(outLines, line);)
    if (!line.empty()) r.summary = line;
  return r;
}

// Where the title's items are, in canvas pixels (text cells of 16).
struct Point {
  int x, y;
};
inline constexpr Point StartButton{12 * 16 + 40, 23 * 16 + 8};
inline constexpr Point PreviousArrow{20 * 16 + 8, 23 * 16 + 8};
inline constexpr Point NextArrow{25 * 16 + 8, 23 * 16 + 8};
inline constexpr Point DemoButton{27 * 16 + 40, 23 * 16 + 8};
inline constexpr Point DragSwitch{17 * 16 + 32, 25 * 16 + 8};

// Script lines for a click: the button goes down at `frame` and up at the next.
inline std::string click(long frame, Point p) {
  return std::to_string(frame) + " " + std::to_string(p.x) + " " + std::to_string(p.y) + " 1\n" +
         std::to_string(frame + 1) + " " + std::to_string(p.x) + " " + std::to_string(p.y) + " 0\n";
}

// A committed demonstration's presses: the Playing frame (from 0) and where.
struct Press {
  int frame;
  Point at;
};
inline std::vector<Press> replayPresses(int stage, const std::string& data = gameData) {
  char name[32];
  std::snprintf(name, sizeof name, "/replay/%02d.dat", stage);
  const std::string bytes = slurp(data + name);
  std::vector<Press> presses;
  int before = 0;
  for (size_t i = 0; i + 6 <= bytes.size(); i += 6) {
    const auto u = [&](size_t k) { return static_cast<int>(static_cast<unsigned char>(bytes[i + k])); };
    const int button = u(4);
    if (button == 1 && before == 0) presses.push_back({static_cast<int>(i / 6), {u(0) | u(1) << 8, u(2) | u(3) << 8}});
    before = button;
  }
  return presses;
}

// The Playing frames a stage's demonstration runs until its clear, as
// wendlop-sim counts them; 0 when it does not clear.
inline int clearingFrames(int stage, const std::string& data = gameData) {
  char replay[64];
  std::snprintf(replay, sizeof replay, "/replay/%02d.dat", stage);
  const std::string command =
      sim + " --data " + data + " --stage " + std::to_string(stage) + " --replay " + data + replay;
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
  }
  if (out.find("result=clear") == std::string::npos) return 0;
  const size_t at = out.find("playing=");
  return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + 8);
}

}  // namespace session

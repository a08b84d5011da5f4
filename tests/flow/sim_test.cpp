// The built wendlop-sim, end to end on the shipped data.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::string sim = WENDLOP_BINARY_DIR "/tools/wendlop-sim/wendlop-sim";
const std::string data = WENDLOP_SOURCE_DIR "/data";

struct SimRun {
  std::string out;
  int status = -1;
};

SimRun run(const std::string& args) {
  SimRun r;
  const std::string command = sim + " --data " + data + " " + args + " 2>/dev/null";
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p)) r.out += buffer;
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return r;
}

TEST(Simulator, ClearsStageOneWithItsReplay) {
  ASSERT_TRUE(std::filesystem::exists(sim)) << sim;
  const SimRun r = run("--stage 1 --replay " + data + "/replay/01.dat");
  EXPECT_EQ(r.status, 0);
  int frames = 0, playing = 0, lives = 0, stars = 0, time = 0, end = 0;
  ASSERT_EQ(std::sscanf(r.out.c_str(), "stage=1 result=clear frames=%d playing=%d lives=%d stars=%d time=%d\n%n",
                        &frames, &playing, &lives, &stars, &time, &end),
            5)
      << r.out;
  EXPECT_EQ(static_cast<size_t>(end), r.out.size()) << r.out;
  // DemoStart, NewGame and StageReady before the Playing frames, and the
  // StageClear entry after them.
  EXPECT_EQ(frames, playing + 4);
  EXPECT_EQ(lives, 3);
  EXPECT_GT(time, 0);
}

TEST(Simulator, TraceAndMissingStage) {
  const auto trace = std::filesystem::temp_directory_path() / ("wendlop-sim-trace-" + std::to_string(getpid()));
  const SimRun r = run("--stage 1 --max-frames 5 --trace " + trace.string());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("stage=1 result=timeout frames=5 playing=2 "), std::string::npos) << r.out;
  std::ifstream in(trace);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  std::filesystem::remove(trace);
  ASSERT_EQ(lines.size(), 5u);
  const int scenes[] = {1, 2, 3, 4, 4};
  for (int i = 0; i < 5; ++i) {
    const std::string head = "{\"f\":" + std::to_string(i + 1) + ",\"scene\":" + std::to_string(scenes[i]) + ",\"w\":[";
    EXPECT_EQ(lines[i].rfind(head, 0), 0u) << lines[i];
    // The keys in their order, thirteen walker fields and 300 tiles.
    size_t at = 0;
    for (const char* key : {"\"w\":[", "],\"h\":[", "],\"tiles\":\"", "\",\"lives\":", ",\"stars\":", ",\"time\":",
                            ",\"tf\":", ",\"ptr\":[", "],\"fx\":["}) {
      const size_t next = lines[i].find(key, at);
      ASSERT_NE(next, std::string::npos) << key << " in " << lines[i];
      at = next;
    }
    EXPECT_EQ(lines[i].substr(lines[i].size() - 2), "]}");
    const size_t w = lines[i].find("\"w\":[") + 5;
    const std::string walkerFields = lines[i].substr(w, lines[i].find(']', w) - w);
    EXPECT_EQ(std::count(walkerFields.begin(), walkerFields.end(), ','), 12);
    const size_t t = lines[i].find("\"tiles\":\"") + 9;
    const std::string tiles = lines[i].substr(t, lines[i].find('"', t) - t);
    EXPECT_EQ(tiles.size(), 600u);
    EXPECT_EQ(tiles.find_first_not_of("0123456789abcdef"), std::string::npos);
  }

  const SimRun missing = run("--stage 99");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "stage=99 result=nostage\n");
}

}  // namespace

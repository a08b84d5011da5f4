// Who may include whom under src/: the table in docs/architecture.md is the
// rule, and every #include of ours is checked against it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path sourceDir = WENDLOP_SOURCE_DIR;

// Every `quoted` span of a table cell, in order. (Plain scanning: <regex> draws
// false uninitialised-value warnings from GCC under the sanitizers.)
std::vector<std::string> codeSpans(const std::string& cell) {
  std::vector<std::string> spans;
  for (size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open)) {
    const size_t close = cell.find('`', open + 1);
    if (close == std::string::npos) break;
    spans.push_back(cell.substr(open + 1, close - open - 1));
    open = close + 1;
  }
  return spans;
}

// The quoted header of an #include line, or "" for any other line.
std::string includedHeader(const std::string& line) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return "";
  i = line.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos || line.compare(i, 7, "include") != 0) return "";
  i = line.find_first_not_of(" \t", i + 7);
  if (i == std::string::npos || line[i] != '"') return "";
  const size_t close = line.find('"', i + 1);
  return close == std::string::npos ? "" : line.substr(i + 1, close - i - 1);
}

// Rows of the form "| `world/` | `platform/`, `sound/`, `flow/flow.h` |" under
// the heading "## Who may include whom": a folder, then the folders and single
// headers it may include besides its own.
std::map<std::string, std::set<std::string>> readRules(std::string* problem) {
  std::ifstream in(sourceDir / "docs" / "architecture.md");
  std::map<std::string, std::set<std::string>> rules;
  bool inSection = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("## ", 0) == 0) inSection = line == "## Who may include whom";
    if (!inSection || line.rfind("| `", 0) != 0) continue;
    const size_t bar = line.find('|', 1);
    const std::string folderCell = line.substr(1, bar - 1), allowedCell = line.substr(bar + 1);
    const auto folders = codeSpans(folderCell);
    if (folders.empty()) continue;
    std::string folder = folders.front();
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    auto& allowed = rules[folder];
    for (const auto& span : codeSpans(allowedCell)) allowed.insert(span);
  }
  if (rules.empty()) *problem = "docs/architecture.md has no table under \"## Who may include whom\"";
  return rules;
}

bool permitted(const std::set<std::string>& allowed, const std::string& folder, const std::string& header) {
  const std::string top = header.substr(0, header.find('/'));
  return top == folder || allowed.count(top + "/") || allowed.count(header) || allowed.count("everything");
}

TEST(Layering, EveryIncludeUnderSrcIsAllowedByTheTable) {
  std::string problem;
  const auto rules = readRules(&problem);
  ASSERT_TRUE(problem.empty()) << problem;
  int checked = 0;
  for (const auto& entry : fs::recursive_directory_iterator(sourceDir / "src")) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".h" && ext != ".cpp") continue;
    const std::string relative = fs::relative(entry.path(), sourceDir / "src").generic_string();
    const std::string folder = relative.substr(0, relative.find('/'));
    if (folder == relative) continue;  // no files straight under src/
    const auto rule = rules.find(folder);
    ASSERT_NE(rule, rules.end()) << "src/" << folder << "/ is not in the table of docs/architecture.md";
    std::ifstream in(entry.path());
    int lineNumber = 0;
    for (std::string line; std::getline(in, line);) {
      ++lineNumber;
      const std::string header = includedHeader(line);
      if (header.empty()) continue;
      if (header.find('/') == std::string::npos) continue;  // a tool's or a test's own header, not ours
      ++checked;
      EXPECT_TRUE(permitted(rule->second, folder, header))
          << "src/" << relative << ":" << lineNumber << " includes " << header << ", which " << folder
          << "/ may not";
    }
  }
  EXPECT_GT(checked, 20);
}

// The checker itself: a header of a folder above is caught.
TEST(Layering, TheRulesReadAsWritten) {
  const std::set<std::string> world = {"platform/", "sound/", "flow/flow.h"};
  EXPECT_TRUE(permitted(world, "world", "world/world.h"));
  EXPECT_TRUE(permitted(world, "world", "flow/flow.h"));
  EXPECT_FALSE(permitted(world, "world", "flow/status.h"));
  EXPECT_FALSE(permitted(world, "world", "display/display.h"));
  EXPECT_TRUE(permitted(world, "world", "platform/audio.h"));
  EXPECT_EQ(includedHeader("  #  include \"flow/flow.h\" // why"), "flow/flow.h");
  EXPECT_EQ(includedHeader("#include <vector>"), "");
  EXPECT_EQ(includedHeader("// #include \"display/display.h\""), "");
  EXPECT_EQ(codeSpans("| `platform/`, `flow/flow.h` |"), (std::vector<std::string>{"platform/", "flow/flow.h"}));
}

}  // namespace

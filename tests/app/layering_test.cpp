// Who may include whom under src/: the table in docs/architecture.md is the
// rule, and every #include of ours is checked against it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
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

// The <bracketed> header of an #include line, or "" for any other line.
std::string systemHeader(const std::string& line) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return "";
  i = line.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos || line.compare(i, 7, "include") != 0) return "";
  i = line.find_first_not_of(" \t", i + 7);
  if (i == std::string::npos || line[i] != '<') return "";
  const size_t close = line.find('>', i + 1);
  return close == std::string::npos ? "" : line.substr(i + 1, close - i - 1);
}

// The libraries only the platform layer talks to: the window, input and audio
// library, the synthesizer, and the synthesizer's logging.
bool platformLibraryHeader(const std::string& header) {
  for (const char* prefix : {"SDL", "fluidsynth", "glib"})
    if (header.rfind(prefix, 0) == 0) return true;
  return false;
}

// A function's body: where it starts and how many lines it takes, from the
// line of its opening brace to that of its closing one.
struct FunctionSpan {
  int line = 0;
  int length = 0;
  std::string head;  // what comes before the opening brace, in one line
};

// The text with comments, string and character literals emptied, and line
// breaks kept, so that braces and semicolons in them do not count.
std::string codeOnly(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, 2, "//") == 0) {
      i = text.find('\n', i);
      if (i == std::string::npos) break;
    } else if (text.compare(i, 2, "/*") == 0) {
      const size_t end = std::min(text.find("*/", i + 2), text.size() - 2) + 2;
      out.append(static_cast<size_t>(std::count(text.begin() + i, text.begin() + end, '\n')), '\n');
      i = end;
    } else if (text[i] == '"' || text[i] == '\'') {
      const char quote = text[i];
      size_t j = i + 1;
      while (j < text.size() && text[j] != quote) j += text[j] == '\\' ? 2 : 1;
      out += quote;
      out += quote;
      i = j + 1;
    } else {
      out += text[i++];
    }
  }
  return out;
}

bool startsWithWord(const std::string& s, const char* word) {
  const size_t n = std::strlen(word);
  return s.compare(0, n, word) == 0 && (s.size() == n || !(std::isalnum(static_cast<unsigned char>(s[n])) || s[n] == '_'));
}

// Every block whose head ends in a parameter list (and is no if, for, while,
// switch or catch): the bodies of functions, methods and lambdas.
std::vector<FunctionSpan> functionSpans(const std::string& text) {
  const std::string code = codeOnly(text);
  std::vector<FunctionSpan> spans;
  std::vector<std::pair<FunctionSpan, bool>> open;
  std::string head;
  int line = 1, parens = 0;
  for (char c : code) {
    if (c == '\n') {
      ++line;
      head += ' ';
    } else if (c == '(' || c == ')') {
      parens += c == '(' ? 1 : -1;
      head += c;
    } else if (c == '{') {
      std::string h = head;
      h.erase(0, h.find_first_not_of(" \t"));
      h.erase(h.find_last_not_of(" \t") + 1);
      std::string tail = h;
      for (const char* word : {" const", " noexcept", " override"})
        while (tail.size() >= std::strlen(word) && tail.compare(tail.size() - std::strlen(word), std::strlen(word), word) == 0)
          tail.erase(tail.size() - std::strlen(word));
      bool isFunction = !tail.empty() && tail.back() == ')';
      for (const char* word : {"if", "for", "while", "switch", "catch", "else"})
        if (startsWithWord(h, word)) isFunction = false;
      open.push_back({FunctionSpan{line, 0, h}, isFunction});
      head.clear();
    } else if (c == '}') {
      if (!open.empty()) {
        auto [span, isFunction] = open.back();
        open.pop_back();
        span.length = line - span.line + 1;
        if (isFunction) spans.push_back(span);
      }
      head.clear();
    } else if (c == ';' && parens == 0) {
      head.clear();
    } else {
      head += c;
    }
  }
  return spans;
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

// Long functions are where a newcomer gets lost: none under src/ is longer
// than a screen and a half.
TEST(CodeShape, NoFunctionUnderSrcIsLongerThan80Lines) {
  constexpr int MostLines = 80;
  int functions = 0;
  for (const auto& entry : fs::recursive_directory_iterator(sourceDir / "src")) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".h" && ext != ".cpp") continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    for (const FunctionSpan& f : functionSpans(text.str())) {
      ++functions;
      EXPECT_LE(f.length, MostLines) << fs::relative(entry.path(), sourceDir).generic_string() << ":" << f.line
                                     << " " << f.head << " is " << f.length << " lines long";
    }
  }
  EXPECT_GT(functions, 300);
}

// Neither the SDL nor the synthesizer's headers are included anywhere outside
// the platform layer, the tools and tests included.
TEST(CodeShape, OnlyThePlatformIncludesSdlOrTheSynthesizer) {
  for (const char* top : {"src", "tools", "tests"}) {
    for (const auto& entry : fs::recursive_directory_iterator(sourceDir / top)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".h" && ext != ".cpp") continue;
      const std::string relative = fs::relative(entry.path(), sourceDir).generic_string();
      if (relative.rfind("src/platform/", 0) == 0) continue;
      std::ifstream in(entry.path());
      int lineNumber = 0;
      for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        const std::string header = systemHeader(line);
        EXPECT_FALSE(platformLibraryHeader(header)) << relative << ":" << lineNumber << " includes <" << header
                                                    << ">: only src/platform/ talks to SDL and the synthesizer";
        EXPECT_NE(includedHeader(line), "platform/sdl_window.h")
            << relative << ":" << lineNumber << " includes the platform's own SDL window";
      }
    }
  }
}

// The checkers themselves: functions are told from other blocks, and braces
// in comments and literals do not count.
TEST(CodeShape, TheCheckersReadAsWritten) {
  const std::string text =
      "namespace {\n"
      "struct S {\n"
      "  int f(int a) const {\n"
      "    if (a) {\n"
      "      return '{';\n"
      "    }\n"
      "    for (int i = 0; i < 2; ++i) { a += i; }\n"
      "    return a;  // }\n"
      "  }\n"
      "};\n"
      "}  // namespace\n"
      "void g(int x,\n"
      "       int y) {\n"
      "  auto h = [&](int z) { return z + \"}\"[0]; };\n"
      "}\n";
  const std::vector<FunctionSpan> spans = functionSpans(text);
  ASSERT_EQ(spans.size(), 3u);
  EXPECT_EQ(spans[0].line, 3);
  EXPECT_EQ(spans[0].length, 7);
  EXPECT_EQ(spans[0].head, "int f(int a) const");
  EXPECT_EQ(spans[1].line, 14);  // the lambda closes before its function
  EXPECT_EQ(spans[1].length, 1);
  EXPECT_EQ(spans[2].line, 13);
  EXPECT_EQ(spans[2].length, 3);
  EXPECT_EQ(systemHeader("#include <SDL.h>"), "SDL.h");
  EXPECT_EQ(systemHeader("#include \"platform/video.h\""), "");
  EXPECT_TRUE(platformLibraryHeader("SDL2/SDL_video.h"));
  EXPECT_TRUE(platformLibraryHeader("fluidsynth.h"));
  EXPECT_FALSE(platformLibraryHeader("zlib.h"));
}

}  // namespace

// The manual page keeps up with the program: every option --help lists is
// described there too.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "app/shell.h"

namespace {

TEST(Manual, DescribesEveryOptionOfTheHelp) {
  char name[] = "wendlop";
  char help[] = "--help";
  char* argv[] = {name, help};
  testing::internal::CaptureStdout();
  ASSERT_EQ(wendlopMain(2, argv), 0);
  const std::string usage = testing::internal::GetCapturedStdout();

  std::ifstream in(std::string(WENDLOP_SOURCE_DIR) + "/dist/wendlop.6");
  std::stringstream page;
  page << in.rdbuf();
  const std::string raw = page.str();
  ASSERT_FALSE(raw.empty());
  // The page writes each '-' of an option as "\-".
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw.compare(i, 2, "\\-") == 0) ++i;
    text += raw[i];
  }
  const size_t from = text.find(".SH OPTIONS"), to = text.find("\n.SH ", from + 1);
  ASSERT_NE(from, std::string::npos);
  const std::string described = text.substr(from, to - from);

  auto optionChar = [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; };
  // Whole words only: --screenshot-dir is not --screenshot-dir-of-some-kind.
  auto describes = [&](const std::string& option) {
    for (size_t at = described.find(option); at != std::string::npos; at = described.find(option, at + 1))
      if (at + option.size() == described.size() || !optionChar(described[at + option.size()])) return true;
    return false;
  };
  int options = 0;
  for (size_t at = usage.find("--"); at != std::string::npos; at = usage.find("--", at + 2)) {
    size_t end = at + 2;
    while (end < usage.size() && optionChar(usage[end])) ++end;
    if (end == at + 2) continue;
    const std::string option = usage.substr(at, end - at);
    ++options;
    EXPECT_TRUE(describes(option)) << option << " is not described under OPTIONS in dist/wendlop.6";
    at = end - 2;
  }
  EXPECT_GE(options, 5);
}

// Each exit status the help's last line names has its entry in EXIT STATUS,
// and SEE ALSO names no program that no package installs.
TEST(Manual, TheExitStatusesAndNoToolsThatAreNotInstalled) {
  char name[] = "wendlop";
  char help[] = "--help";
  char* argv[] = {name, help};
  testing::internal::CaptureStdout();
  ASSERT_EQ(wendlopMain(2, argv), 0);
  const std::string usage = testing::internal::GetCapturedStdout();
  const std::string last = usage.substr(usage.rfind('\n', usage.size() - 2) + 1);
  ASSERT_EQ(last.rfind("Exit status:", 0), 0u) << last;

  std::ifstream in(std::string(WENDLOP_SOURCE_DIR) + "/dist/wendlop.6");
  std::stringstream page;
  page << in.rdbuf();
  const std::string text = page.str();
  const size_t from = text.find(".SH EXIT STATUS"), to = text.find("\n.SH ", from + 1);
  ASSERT_NE(from, std::string::npos);
  const std::string statuses = text.substr(from, to - from);
  for (const char* status : {"0", "1", "2"}) {
    EXPECT_NE(last.find(std::string(" ") + status + " "), std::string::npos) << status;
    EXPECT_NE(statuses.find(std::string("\n.B ") + status + "\n"), std::string::npos) << status;
  }
  EXPECT_EQ(statuses.find("\n.B 3\n"), std::string::npos);
  const std::string seeAlso = text.substr(text.find(".SH SEE ALSO"));
  EXPECT_EQ(seeAlso.find("wendlop\\-"), std::string::npos) << seeAlso;
}

}  // namespace

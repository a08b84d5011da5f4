// The manual page keeps up with the program: every option --help lists is
// described there too.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
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
  ASSERT_FALSE(page.str().empty());
  // The page writes each '-' of an option as "\-".
  const std::string text = std::regex_replace(page.str(), std::regex(R"(\\-)"), "-");
  const size_t from = text.find(".SH OPTIONS"), to = text.find("\n.SH ", from + 1);
  ASSERT_NE(from, std::string::npos);
  const std::string described = text.substr(from, to - from);

  int options = 0;
  const std::regex option("--[a-z][a-z-]*");
  for (auto it = std::sregex_iterator(usage.begin(), usage.end(), option); it != std::sregex_iterator(); ++it) {
    ++options;
    EXPECT_TRUE(std::regex_search(described, std::regex(it->str() + "(?![a-z-])")))
        << it->str() << " is not described under OPTIONS in dist/wendlop.6";
  }
  EXPECT_GE(options, 5);
}

}  // namespace

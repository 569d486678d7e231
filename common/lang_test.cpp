#include "common/lang.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/temp_dir.h"

TEST(ExpandText, CaretBecomesCarriageReturnOnly) {
  EXPECT_EQ(ExpandText("a^b"), "a\rb");
  EXPECT_EQ(ExpandText("^^"), "\r\r");
  EXPECT_EQ(ExpandText("no marks $"), "no marks $");
}

TEST(ReplaceParam, FirstDollarTakesTheValue) {
  EXPECT_EQ(ReplaceParam("Port $ of $", "5000"), "Port 5000 of $");
  EXPECT_EQ(ReplaceParam("line^$", "x"), "line\rx");
  EXPECT_EQ(ReplaceParam("no placeholder^", "dropped"), "no placeholder\r");
  // A caret inside the value is inserted after expansion, so it stays.
  EXPECT_EQ(ReplaceParam("$", "a^b"), "a^b");
}

TEST(ReplaceParams, EachValueTakesTheFirstDollarLeft) {
  EXPECT_EQ(ReplaceParams("$ and $", {"1", "2"}), "1 and 2");
  EXPECT_EQ(ReplaceParams("$ and $", {"x$"}), "x$ and $");
  EXPECT_EQ(ReplaceParams("$ and $", {"x$", "y"}), "xy and $");
  EXPECT_EQ(ReplaceParams("$ and $", {"1", "2", "3"}), "1 and 2");
  EXPECT_EQ(ReplaceParams("a^$", {}), "a\r$");
}

TEST(LangText, ReadsTheProcessLanguageFile) {
  TempDir temp("lang_test");
  const std::string& dir = temp.path();
  std::string file = dir + "/english.lng";
  std::ofstream(file) << "[ERRORS]\n100007 = Cannot open $^file\n[QSSRV]\nLogShutdown=Shutdown\n";
  SetLanguageFilePath(file);
  EXPECT_EQ(LanguageFilePath(), file);
  EXPECT_EQ(LangText("100007", "errors"), "Cannot open $^file");
  EXPECT_EQ(LangText("logshutdown", "QSSRV"), "Shutdown");
  EXPECT_EQ(LangText("100002", "ERRORS"), "");
  SetLanguageFilePath(dir + "/missing.lng");
  EXPECT_EQ(LangText("100007", "ERRORS"), "");
  SetLanguageFilePath("");
}

#include "common/lang.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

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
  TTempDir temp("lang_test");
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

// The kept copy of the file follows every change: an edit of the same size
// given a modification time of its own, a longer text, a
// file renamed over it, its removal and its return, another path.
TEST(LangText, FollowsEveryChangeOfTheFile) {
  TTempDir temp("lang_cache_test");
  const std::string file = temp.path() + "/english.lng";
  const std::string other = temp.path() + "/other.lng";
  auto write = [](const std::string& path, const std::string& value) {
    std::ofstream(path, std::ios::trunc) << "[S]\nK=" << value << "\n";
  };
  // A time the first write cannot have had.
  const timespec fixed[2] = {{1000000000, 0}, {1000000000, 0}};
  const struct {
    const char* name;
    std::function<void()> change;
    std::string path;
    std::string text;
  } kSteps[] = {
      {"first read", [&] { write(file, "one"); }, file, "one"},
      {"again, unchanged", [] {}, file, "one"},
      {"same size, another time",
       [&] {
         write(file, "two");
         ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), fixed, 0), 0);
       },
       file, "two"},
      {"longer", [&] { write(file, "three!"); }, file, "three!"},
      {"renamed over it",
       [&] {
         write(other, "four");
         ASSERT_EQ(rename(other.c_str(), file.c_str()), 0);
       },
       file, "four"},
      {"removed", [&] { ASSERT_EQ(unlink(file.c_str()), 0); }, file, ""},
      {"back", [&] { write(file, "five"); }, file, "five"},
      {"another path", [&] { write(other, "six"); }, other, "six"},
      {"the first path again", [] {}, file, "five"},
  };
  for (const auto& k : kSteps) {
    SCOPED_TRACE(k.name);
    k.change();
    SetLanguageFilePath(k.path);
    EXPECT_EQ(LangText("K", "S"), k.text);
  }
  SetLanguageFilePath("");
}

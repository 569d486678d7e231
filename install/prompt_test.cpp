#include "install/prompt.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

TEST(ParseYesNo, OnlySingleLettersCount) {
  EXPECT_EQ(std::optional<bool>(true), ParseYesNo("y"));
  EXPECT_EQ(std::optional<bool>(true), ParseYesNo("Y"));
  EXPECT_EQ(std::optional<bool>(false), ParseYesNo("n"));
  EXPECT_EQ(std::optional<bool>(false), ParseYesNo("N"));
  for (const char* wrong : {"yes", "no", " y", "y ", "", "x", "yy", "y\r"}) {
    EXPECT_EQ(std::nullopt, ParseYesNo(wrong)) << wrong;
  }
}

TEST(ParseSelection, WholeNumberWithinTheList) {
  EXPECT_EQ(1, ParseSelection("1", 2));
  EXPECT_EQ(2, ParseSelection("2", 2));
  for (const char* wrong : {"0", "3", "-1", "", "1.0", " 1", "1 ", "one", "99999999999"}) {
    EXPECT_EQ(0, ParseSelection(wrong, 2)) << wrong;
  }
}

TEST(CenteredText, HalfTheRemainingWidthBefore) {
  EXPECT_EQ("                         Welcome to", CenteredText("Welcome to", 60));
  EXPECT_EQ(" ab", CenteredText("ab", 5));
  EXPECT_EQ("abcd", CenteredText("abcd", 5));
  EXPECT_EQ("abcdefg", CenteredText("abcdefg", 5));
}

TEST(ReadAnswerLine, StopsAtTheLineFeedAndLeavesTheRest) {
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  const std::string input = "y\nsecond\nlast";
  ASSERT_EQ(static_cast<ssize_t>(input.size()), write(fds[1], input.data(), input.size()));
  close(fds[1]);
  std::string line;
  ASSERT_TRUE(ReadAnswerLine(fds[0], &line));
  EXPECT_EQ("y", line);
  char rest[7] = {};
  ASSERT_EQ(7, read(fds[0], rest, 7));
  EXPECT_EQ("second\n", std::string(rest, 7));
  ASSERT_TRUE(ReadAnswerLine(fds[0], &line));
  EXPECT_EQ("last", line);
  EXPECT_FALSE(ReadAnswerLine(fds[0], &line));
  EXPECT_FALSE(ReadAnswerLine(fds[0], &line));
  close(fds[0]);
}

#include "common/scramble.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "tests/support/temp_dir.h"

TEST(Scramble, KnownVectorsAreBitExact) {
  EXPECT_EQ(Scramble("<|ok|>"), "DDB30BDADC65");
  EXPECT_EQ(Scramble("secret"), "927F19D26A89");
  EXPECT_EQ(Descramble("DDB30BDADC65"), "<|ok|>");
  EXPECT_EQ(Descramble("927F19D26A89"), "secret");
}

TEST(Scramble, EmptyAndOddLengths) {
  EXPECT_EQ(Scramble(""), "");
  EXPECT_EQ(Descramble(""), "");
  EXPECT_EQ(Descramble("9"), "");
  EXPECT_EQ(Descramble("927F19D26A89F"), "secret");
}

TEST(Scramble, OutputIsUpperCaseHexOfTwiceTheLength) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string s = Scramble(all);
  ASSERT_EQ(s.size(), 512u);
  EXPECT_EQ(s.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST(Scramble, RoundTripsEveryByteValue) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Descramble(Scramble(all)), all);
  std::string reversed(all.rbegin(), all.rend());
  EXPECT_EQ(Descramble(Scramble(reversed)), reversed);
  for (int b = 0; b < 256; ++b) {
    std::string one(3, static_cast<char>(b));
    ASSERT_EQ(Descramble(Scramble(one)), one) << b;
  }
  const std::string tricky("a\0b|=\r\n\xff", 8);
  EXPECT_EQ(Descramble(Scramble(tricky)), tricky);
}

TEST(Scramble, NoCarryOverBetweenCalls) {
  std::string first = Scramble("same text");
  Scramble("something else in between");
  EXPECT_EQ(Scramble("same text"), first);
  // Every text restarts from the start key, so a prefix scrambles to a prefix.
  EXPECT_EQ(Scramble("secret and more").substr(0, 12), Scramble("secret"));
}

TEST(Descramble, LowerCaseDigitsGiveTheSameText) {
  EXPECT_EQ(Descramble("927f19d26a89"), "secret");
  EXPECT_EQ(Descramble("ddB30bdADC65"), "<|ok|>");
}

TEST(Descramble, InvalidPairCountsAsZeroAndRunGoesOn) {
  std::string zero_pair = Descramble("00" + Scramble("secret").substr(2));
  std::string bad_pair = Descramble("G0" + Scramble("secret").substr(2));
  EXPECT_EQ(bad_pair, zero_pair);
  EXPECT_EQ(Descramble("0G"), Descramble("00"));
  EXPECT_EQ(Descramble(" 7"), Descramble("00"));
  EXPECT_EQ(Descramble("zz").size(), 1u);
  EXPECT_EQ(Descramble("zz")[0], static_cast<char>(0xE1));
}

namespace {

class ScrambledFile : public ::testing::Test {
 protected:
  TTempDir temp_{"scramble_test"};
  std::string dir_ = temp_.path();
};

}  // namespace

TEST_F(ScrambledFile, LinesDescrambledInOrder) {
  std::string path = dir_ + "/db";
  std::ofstream(path) << Scramble("first") << "\n"
                      << Scramble("second|=") << "\r\n\n"
                      << Scramble("last");
  TTextList list{"stale"};
  EXPECT_EQ(LoadScrambledLines(&list, path), 0);
  EXPECT_EQ(list, (TTextList{"first", "second|=", "", "last"}));
}

TEST_F(ScrambledFile, MissingOrUnreadableFileGivesErrorCode) {
  TTextList list{"stale"};
  EXPECT_EQ(LoadScrambledLines(&list, dir_ + "/missing"), ENOENT);
  EXPECT_TRUE(list.empty());
  list = {"stale"};
  EXPECT_EQ(LoadScrambledLines(&list, dir_), EISDIR);
  EXPECT_TRUE(list.empty());
}

// Descrambling up to a clear byte gives the start of the whole clear text,
// whatever the digits are.
TEST(DescrambleUntil, StartOfTheWholeText) {
  const struct {
    std::string text;
    int stop;
    std::string clear;
    bool stopped;
  } kCases[] = {
      {Scramble("Name|rest|more"), '|', "Name", true},
      {Scramble("|first"), '|', "", true},
      {Scramble("no stop"), '|', "no stop", false},
      {Scramble("a|b"), -1, "a|b", false},
      {Scramble("x\xff") + "Z", 0xFF, "x", true},
      {"ZZ" + Scramble("abc").substr(2), 'q', Descramble("ZZ" + Scramble("abc").substr(2)), false},
      {"", '|', "", false},
  };
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.text);
    bool stopped = !k.stopped;
    EXPECT_EQ(DescrambleUntil(k.text.data(), k.text.size(), k.stop, &stopped), k.clear);
    EXPECT_EQ(stopped, k.stopped);
    EXPECT_EQ(Descramble(k.text).compare(0, k.clear.size(), k.clear), 0);
  }
}

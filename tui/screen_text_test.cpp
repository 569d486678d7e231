#include "tui/screen_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "tui/ctrls.h"
#include "tui/fake_terminal.h"

namespace {

class Utf8Text : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!utf8_.available()) GTEST_SKIP() << "no C.UTF-8 locale";
  }
  TUtf8Coding utf8_;
};

const std::string kLocation = "B\xc3\xbcro \xe2\x80\x93 2. OG";  // "Büro – 2. OG"

}  // namespace

TEST_F(Utf8Text, WidthCutAndSafeText) {
  struct {
    const char* name;
    std::string text;
    int width;         // columns shown
    size_t chars;      // characters
    std::string safe;  // as written
    int cut_at;
    std::string cut;
    size_t last;  // start of the last character
  } cases[] = {
      {"ascii", "abc", 3, 3, "abc", 2, "ab", 2},
      {"location", kLocation, 12, 12, kLocation, 6, "B\xc3\xbcro \xe2\x80\x93", 14},
      {"cut before a wide character", "\xe6\x97\xa5\xe6\x9c\xac", 4, 2, "\xe6\x97\xa5\xe6\x9c\xac",
       3, "\xe6\x97\xa5", 3},
      {"combining mark takes no column", "e\xcc\x81x", 2, 3, "e\xcc\x81x", 1, "e\xcc\x81", 3},
      {"invalid byte",
       "a\xff"
       "b",
       3, 3, "a?b", 2, "a\xff", 2},
      {"lone continuation", "\x80z", 2, 2, "?z", 1, "\x80", 1},
      {"cut sequence at the end", "ab\xc3", 3, 3, "ab?", 3, "ab\xc3", 2},
      {"overlong form", "\xc0\xaf", 2, 2, "??", 1, "\xc0", 1},
      {"surrogate", "\xed\xa0\x80", 3, 3, "???", 9, "\xed\xa0\x80", 2},
      {"terminal escape", "\x1b[2J", 4, 4, "?[2J", 4, "\x1b[2J", 3},
      {"C1 control",
       "\xc2\x9b"
       "1m",
       3, 3, "?1m", 1, "\xc2\x9b", 3},
      {"empty", "", 0, 0, "", 5, "", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextWidth(c.text), c.width) << c.name;
    EXPECT_EQ(CharCount(c.text), c.chars) << c.name;
    EXPECT_EQ(SafeText(c.text), c.safe) << c.name;
    EXPECT_EQ(CutToWidth(c.text, c.cut_at), c.cut) << c.name;
    EXPECT_EQ(LastCharStart(c.text), c.last) << c.name;
  }
  EXPECT_EQ(FirstChar("\xc2\xa7;"), "\xc2\xa7");
  EXPECT_EQ(MaskText(kLocation), std::string(12, '*'));
  EXPECT_EQ(PadText(kLocation, 14, kPadLeftJustify), kLocation + "  ");
  EXPECT_EQ(PadText("\xc3\xbc", 4, kPadCentre), "  \xc3\xbc ");
  EXPECT_EQ(MaxItemWidth({kLocation, "abc"}), 12);
}

TEST(ByteText, EveryByteIsOneColumnAsBefore) {
  ASSERT_EQ(TextCoding(), TTextCoding::kBytes);
  EXPECT_EQ(TextWidth(kLocation), 15);
  EXPECT_EQ(SafeText("a\xff\x1b"), "a\xff\x1b");
  EXPECT_EQ(CutToWidth(kLocation, 2), "B\xc3");
  EXPECT_EQ(LastCharStart("ab\xc3\xbc"), 3u);
  EXPECT_EQ(FirstChar("\xc2\xa7"), "\xc2");
  TKeyChars keys;
  EXPECT_EQ(keys.Add(0xc3), TKeyChars::kRefused);
  EXPECT_EQ(keys.Add('x'), TKeyChars::kComplete);
}

TEST_F(Utf8Text, WrapAtBlanksByColumns) {
  struct {
    std::string text;
    int width, lines;
    TTextList wrapped;
  } cases[] = {
      {"Continue ?", 20, 4, {"Continue ?"}},
      {"one two three^four", 9, 4, {"one two", "three", "four"}},
      {"one two\rthree", 20, 4, {"one two", "three"}},
      {"one\r\ntwo\n\nthree", 20, 4, {"one", "two", "", "three"}},
      {"abcdefghijkl", 5, 4, {"abcde", "fghij", "kl"}},
      {"a b c d e f", 1, 3, {"a", "b", "c"}},
      {"  spaced   words  ", 20, 4, {"spaced   words"}},
      {"Error !  Number is invalid", 9, 4, {"Error !", "Number is", "invalid"}},
      {"Error !  Number", 20, 4, {"Error !  Number"}},
      {"x", 0, 4, {}},
      {"x", 5, 0, {}},
      {kLocation, 6, 4, {"B\xc3\xbcro \xe2\x80\x93", "2. OG"}},
      {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e",
       3,
       4,
       {"\xe6\x97\xa5", "\xe6\x9c\xac", "\xe8\xaa\x9e"}},
      // A character wider than the line cannot be shown.
      {"\xe6\x97\xa5", 1, 4, {""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WrapText(c.text, c.width, c.lines), c.wrapped) << c.text << " " << c.width;
  }
}

TEST_F(Utf8Text, KeyBytesGatheredIntoCharacters) {
  using R = TKeyChars::TResult;
  const R P = TKeyChars::kPending, C = TKeyChars::kComplete, X = TKeyChars::kRefused;
  struct {
    const char* name;
    std::vector<int> keys;
    std::vector<R> results;
    std::string last;  // the last complete character
  } cases[] = {
      {"ascii", {'a'}, {C}, "a"},
      {"two bytes", {0xc3, 0xbc}, {P, C}, "\xc3\xbc"},
      {"three bytes", {0xe2, 0x80, 0x93}, {P, P, C}, "\xe2\x80\x93"},
      {"four bytes", {0xf0, 0x9f, 0x98, 0x80}, {P, P, P, C}, "\xf0\x9f\x98\x80"},
      {"broken by a letter", {0xc3, 'a'}, {P, C}, "a"},
      {"broken by another lead", {0xe2, 0xc3, 0xa4}, {P, P, C}, "\xc3\xa4"},
      {"no lead byte", {0xff, 0x80, 0xc0}, {X, X, X}, ""},
      {"C1 control", {0xc2, 0x9b}, {P, X}, ""},
      {"combining mark alone", {0xcc, 0x81}, {P, X}, ""},
      {"overlong", {0xe0, 0x80, 0x80}, {P, P, X}, ""},
      {"control and curses keys", {7, 127, kKeyLeft, kKeyNone}, {X, X, X, X}, ""},
  };
  for (const auto& c : cases) {
    TKeyChars chars;
    std::string last;
    for (size_t i = 0; i < c.keys.size(); ++i) {
      const R result = chars.Add(c.keys[i]);
      EXPECT_EQ(result, c.results[i]) << c.name << " key " << i;
      if (result == C) last = chars.character();
    }
    EXPECT_EQ(last, c.last) << c.name;
  }
}

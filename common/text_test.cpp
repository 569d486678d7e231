#include "common/text.h"

#include <gtest/gtest.h>

TEST(Trim, BlanksAreSpaceAndTabOnly) {
  EXPECT_EQ(TrimBlanks(" \t a b \t "), "a b");
  EXPECT_EQ(TrimBlanks("\ra\n"), "\ra\n");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimControls("\r\n\x01 a b\x7f \r\n"), "a b\x7f");
  EXPECT_EQ(TrimControls("\xe9t\xe9"), "\xe9t\xe9");
}

TEST(SplitToList, FieldsTrimmedAndEmptyInnerFieldsKept) {
  TTextList list;
  SplitToList('|', "a|b|c", &list, true);
  EXPECT_EQ(list, (TTextList{"a", "b", "c"}));
  SplitToList('|', "a||c", &list, true);
  EXPECT_EQ(list, (TTextList{"a", "", "c"}));
  SplitToList('|', "|x", &list, true);
  EXPECT_EQ(list, (TTextList{"", "x"}));
  SplitToList(',', "  one , two\t,three  ", &list, true);
  EXPECT_EQ(list, (TTextList{"one", "two", "three"}));
}

TEST(SplitToList, EmptyOrBlankLastFieldDropped) {
  TTextList list;
  SplitToList('|', "a|b|", &list, true);
  EXPECT_EQ(list, (TTextList{"a", "b"}));
  SplitToList('|', "a|b|  ", &list, true);
  EXPECT_EQ(list, (TTextList{"a", "b"}));
  SplitToList('|', "", &list, true);
  EXPECT_TRUE(list.empty());
  SplitToList('|', " | ", &list, true);
  EXPECT_EQ(list, (TTextList{""}));
}

TEST(SplitToList, ClearFlagDecidesBetweenReplaceAndAppend) {
  TTextList list{"old"};
  SplitToList('|', "x|y", &list, false);
  EXPECT_EQ(list, (TTextList{"old", "x", "y"}));
  SplitToList('|', "z", &list, true);
  EXPECT_EQ(list, (TTextList{"z"}));
  SplitToList('|', "", &list, true);
  EXPECT_TRUE(list.empty());
}

TEST(JoinList, InverseOfSplitForPlainFields) {
  EXPECT_EQ(JoinList({}, '|'), "");
  EXPECT_EQ(JoinList({"a"}, '|'), "a");
  EXPECT_EQ(JoinList({"a", "", "c"}, '|'), "a||c");
  TTextList list;
  SplitToList('|', JoinList({"1", "2", "3"}, '|'), &list, true);
  EXPECT_EQ(list, (TTextList{"1", "2", "3"}));
}

TEST(IndexOfKey, KeyBeforeFirstBarTrimmedAndExact) {
  TTextList list{"12", "12 |x", "12|y"};
  EXPECT_EQ(IndexOfKey(list, "12"), 1);
  EXPECT_EQ(IndexOfKey({"  7\t|a|b", "7|c"}, "7"), 0);
  EXPECT_EQ(IndexOfKey({"ab|1", "AB|2"}, "AB"), 1);
  EXPECT_EQ(IndexOfKey({"x|a|b"}, "x|a"), -1);
  EXPECT_EQ(IndexOfKey({"|empty"}, ""), 0);
  EXPECT_EQ(IndexOfKey({"12"}, "12"), -1);
  EXPECT_EQ(IndexOfKey({}, "12"), -1);
}

TEST(ParseInt32, WholeNumbersWithSignWithin32Bits) {
  int32_t v = 0;
  EXPECT_TRUE(ParseInt32("0", &v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(ParseInt32("+17", &v));
  EXPECT_EQ(v, 17);
  EXPECT_TRUE(ParseInt32("-2147483648", &v));
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_TRUE(ParseInt32("2147483647", &v));
  EXPECT_EQ(v, INT32_MAX);
  EXPECT_TRUE(ParseInt32("000000000000012", &v));
  EXPECT_EQ(v, 12);
  v = 99;
  for (const char* bad : {"", "-", "+", "2147483648", "-2147483649", "4294967296",
                          "99999999999999999999", " 1", "1 ", "1x", "0x10", "1.5", "--1"}) {
    EXPECT_FALSE(ParseInt32(bad, &v)) << bad;
  }
  EXPECT_EQ(v, 99);
}

TEST(TextToIntInRange, BoundsOfMinusOneMeanNone) {
  EXPECT_EQ(TextToIntInRange("5", 1, 10), 5);
  EXPECT_EQ(TextToIntInRange("1", 1, 10), 1);
  EXPECT_EQ(TextToIntInRange("10", 1, 10), 10);
  EXPECT_EQ(TextToIntInRange("0", 1, 10), -1);
  EXPECT_EQ(TextToIntInRange("11", 1, 10), -1);
  EXPECT_EQ(TextToIntInRange("100000", 1, -1), 100000);
  EXPECT_EQ(TextToIntInRange("-50", -1, 10), -50);
  EXPECT_EQ(TextToIntInRange("-1", -1, -1), -1);
  EXPECT_EQ(TextToIntInRange("+3", -1, -1), 3);
  EXPECT_EQ(TextToIntInRange("abc", -1, -1), -1);
  EXPECT_EQ(TextToIntInRange("", 0, 10), -1);
  EXPECT_EQ(TextToIntInRange("99999999999", -1, -1), -1);
}

TEST(SplitLines, LineEndsDroppedAndEmptyTailIgnored) {
  EXPECT_EQ(SplitLines(""), TTextList{});
  EXPECT_EQ(SplitLines("a\nb"), (TTextList{"a", "b"}));
  EXPECT_EQ(SplitLines("a\r\nb\r\n"), (TTextList{"a", "b"}));
  EXPECT_EQ(SplitLines("\n\nx\n"), (TTextList{"", "", "x"}));
}

TEST(Frame, TextAndNumberFramed) {
  EXPECT_EQ(FrameText(""), "<||>");
  EXPECT_EQ(FrameText("1|0"), "<|1|0|>");
  EXPECT_EQ(FrameNumber(5), "<|5|>");
  EXPECT_EQ(FrameNumber(-12), "<|-12|>");
  EXPECT_EQ(FrameNumber(INT32_MIN), "<|-2147483648|>");
}

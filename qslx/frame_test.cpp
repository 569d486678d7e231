#include "qslx/frame.h"

#include "gtest/gtest.h"

namespace {

TEST(Frame, FieldsAreTheInnerPiecesTrimmed) {
  TTextList fields;
  ASSERT_TRUE(TakeFrameApart("<|1|0|>", &fields));
  EXPECT_EQ((TTextList{"1", "0"}), fields);
  ASSERT_TRUE(TakeFrameApart("<| 1 | 0 |>", &fields));
  EXPECT_EQ((TTextList{"1", "0"}), fields);
  ASSERT_TRUE(TakeFrameApart("<|\x01 a\t\x02|\r5\x7f|>", &fields));
  EXPECT_EQ("a", fields[0]);
  EXPECT_EQ("5\x7f", fields[1]);
}

TEST(Frame, EmptyInnerFieldsKeepTheirPlace) {
  TTextList fields;
  ASSERT_TRUE(TakeFrameApart("<|1|1||>", &fields));
  EXPECT_EQ((TTextList{"1", "1", ""}), fields);
  ASSERT_TRUE(TakeFrameApart("<||x|>", &fields));
  EXPECT_EQ((TTextList{"", "x"}), fields);
}

TEST(Frame, OuterPiecesNeedNotBeBareMarks) {
  TTextList fields;
  ASSERT_TRUE(TakeFrameApart("<1|0>", &fields));
  EXPECT_TRUE(fields.empty());
  ASSERT_TRUE(TakeFrameApart("<|>", &fields));
  EXPECT_TRUE(fields.empty());
  ASSERT_TRUE(TakeFrameApart("<a|b|c>", &fields));
  EXPECT_EQ((TTextList{"b"}), fields);
}

TEST(Frame, WrongEndsOrOnePieceAreInvalid) {
  TTextList fields{"left over"};
  for (const char* bad :
       {"", "<", ">", "<>", "<abc>", "|1|0|>", "<|1|0|", "<|1|0|> ", " <|1|0|>"}) {
    EXPECT_FALSE(TakeFrameApart(bad, &fields)) << bad;
    EXPECT_TRUE(fields.empty()) << bad;
  }
}

}  // namespace

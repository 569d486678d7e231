#include "tui/colors.h"

#include <gtest/gtest.h>

TEST(ColorPairTable, OnePairPerCombinationInOrderOfFirstUse) {
  TColorPairTable table;
  bool is_new = false;
  EXPECT_EQ(table.PairFor(7, 4, &is_new), 1);
  EXPECT_TRUE(is_new);
  EXPECT_EQ(table.PairFor(0, 7, &is_new), 2);
  EXPECT_EQ(table.PairFor(7, 4, &is_new), 1);
  EXPECT_FALSE(is_new);
  EXPECT_EQ(table.size(), 2);
  table.Clear();
  EXPECT_EQ(table.PairFor(0, 7), 1);
}

TEST(ColorPairTable, PastSixtyFourNewCombinationsShareTheLastPair) {
  TColorPairTable table;
  for (int i = 0; i < 64; ++i) ASSERT_EQ(table.PairFor(i % 8, i / 8), i + 1);
  bool is_new = true;
  EXPECT_EQ(table.PairFor(100, 100, &is_new), 64);
  EXPECT_FALSE(is_new);
  EXPECT_EQ(table.PairFor(101, 5, &is_new), 64);
  EXPECT_EQ(table.size(), 64);
  // The combinations allocated before keep their own pairs.
  EXPECT_EQ(table.PairFor(3, 2), 20);
}

TEST(Colors, PackForegroundLowBackgroundHigh) {
  EXPECT_EQ(MakeColors(15, 4), 0x040f);
  EXPECT_EQ(ForegroundOf(MakeColors(11, 4)), 11);
  EXPECT_EQ(BackgroundOf(MakeColors(11, 4)), 4);
}

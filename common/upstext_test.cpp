#include "common/upstext.h"

#include <gtest/gtest.h>

#include <string>

TEST(FaultText, BitCombinationsListFlagsFromLowestBit) {
  const char* flags[] = {"Inverter", "P.F.C.", "Booster", "Overheat"};
  ASSERT_EQ(kFaultTextCount, 18);
  EXPECT_STREQ(FaultText(0), "Unknown or None");
  for (int index = 1; index < 16; ++index) {
    std::string expected;
    for (int bit = 0; bit < 4; ++bit) {
      if (!(index & (1 << bit))) continue;
      if (!expected.empty()) expected += " & ";
      expected += flags[bit];
    }
    ASSERT_NE(FaultText(index), nullptr);
    EXPECT_EQ(FaultText(index), expected) << index;
  }
  EXPECT_STREQ(FaultText(15), "Inverter & P.F.C. & Booster & Overheat");
}

TEST(FaultText, CodesOutsideTheBitPatternAndBounds) {
  EXPECT_STREQ(FaultText(16), "Battery charger");
  EXPECT_STREQ(FaultText(17), "Overheat & Battery charger");
  EXPECT_EQ(FaultText(18), nullptr);
  EXPECT_EQ(FaultText(-1), nullptr);
}

TEST(MessageMacro, NamesInOrderAndBounds) {
  ASSERT_EQ(kMessageMacroCount, 7);
  const char* expected[] = {"#COMPUTER#", "#LOCATION#",   "#UPSNAME#",    "#COMMDEVICE#",
                            "#TIMELEFT#", "#LISTENPORT#", "#DOWNWARNING#"};
  for (int i = 0; i < 7; ++i) EXPECT_STREQ(MessageMacro(i), expected[i]) << i;
  EXPECT_EQ(MessageMacro(7), nullptr);
  EXPECT_EQ(MessageMacro(-1), nullptr);
}

#include "common/upstext.h"

#include <gtest/gtest.h>

#include <set>
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

TEST(MessageMacro, DistinctMarkedNamesFromComputerToDownWarning) {
  ASSERT_EQ(kMessageMacroCount, 7);
  std::set<std::string> names;
  for (int i = 0; i < kMessageMacroCount; ++i) {
    ASSERT_NE(MessageMacro(i), nullptr) << i;
    const std::string name = MessageMacro(i);
    // A macro is replaced wherever it stands in a message text, so none may
    // be empty between its marks or hold one.
    EXPECT_GE(name.size(), 3u) << i;
    EXPECT_EQ(name.front(), '#') << name;
    EXPECT_EQ(name.back(), '#') << name;
    EXPECT_EQ(name.find('#', 1), name.size() - 1) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 7u) << "two macros share a name";
  // The index is what the master's configuration stores: the ends of the order.
  EXPECT_STREQ(MessageMacro(0), "#COMPUTER#");
  EXPECT_STREQ(MessageMacro(kMessageMacroCount - 1), "#DOWNWARNING#");
  EXPECT_EQ(MessageMacro(7), nullptr);
  EXPECT_EQ(MessageMacro(-1), nullptr);
}

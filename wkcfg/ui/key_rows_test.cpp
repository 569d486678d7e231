#include "wkcfg/ui/key_rows.h"

#include <gtest/gtest.h>

#include "wkcfg/ui/screen_test_tree.h"

TEST_F(ScreenTest, NumberRowsTakeTheKeyTableRangeAndScale) {
  struct {
    const char* key;
    std::string work;
    bool minus_one, valid;
    int32_t value;
  } cases[] = {
      {"SrvPollingUps", "255", false, true, 255},
      {"SrvPollingUps", "256", false, false, -1},
      {"SrvPollingUps", "0", false, false, -1},
      {"LogMaxSize", "2147483", false, true, 2147483},
      {"LogMaxSize", "2147484", false, false, -1},
      {"UpsLoadPercent", "-1", true, true, -1},
      {"UpsLoadPercent", "-1", false, false, -1},
      {"UpsLoadPercent", "-2", true, false, -1},
      {"UpsLoadPercent", "101", true, false, -1},
      {"UpsAutonomyTime", "0", false, true, 0},
      {"SrvDownTime", "35791394", false, true, 35791394},
      {"SrvDownTime", "35791395", false, false, -1},
      {"EmailPort", "x1", false, false, -1},
  };
  for (const auto& c : cases) {
    TFormRow row = NumberRow("n:", c.key);
    row.allows_minus_one = c.minus_one;
    int32_t value = 0;
    EXPECT_EQ(RowNumber(row, c.work, false, &value), c.valid) << c.key << " " << c.work;
    EXPECT_EQ(value, c.value) << c.key << " " << c.work;
  }
  EXPECT_EQ(term_.writes().size(), 0u);

  // Shown in the label's unit, stored back in the field's.
  Record().Server.SrvDownTime = 185;
  Record().LogData.LogMaxSize = 2147483647;
  Record().Ups.UpsLoadPercent = 87.5f;
  EXPECT_EQ(NumberRow("m:", "SrvDownTime").value(), "3");
  EXPECT_EQ(NumberRow("kB:", "LogMaxSize").value(), "2147483");
  EXPECT_EQ(NumberRow("%:", "UpsLoadPercent").value(), "88");
  EXPECT_TRUE(NumberRow("m:", "SrvDownTime").store("5"));
  EXPECT_EQ(Record().Server.SrvDownTime, 300);
  NumberRow("kB:", "DataMaxSize").store("2147483");
  EXPECT_EQ(Record().LogData.DataMaxSize, 2147483000);
  NumberRow("%:", "UpsLoadPercent").store("-1");
  EXPECT_EQ(Record().Ups.UpsLoadPercent, -1.0f);
}

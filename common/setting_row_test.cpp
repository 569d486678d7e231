#include "common/setting_row.h"

#include <gtest/gtest.h>

namespace {

TEST(Decimal, FormatsWithoutTrailingZerosAndReadsBackEveryFourDecimalValue) {
  EXPECT_EQ(FormatDecimal(100), "100");
  EXPECT_EQ(FormatDecimal(-1), "-1");
  EXPECT_EQ(FormatDecimal(87.5f), "87.5");
  EXPECT_EQ(FormatDecimal(0.0001f), "0.0001");
  for (int64_t n = -20000000; n <= 20000000; n += 9973) {
    float value = static_cast<float>(static_cast<double>(n) / 10000);
    float back = 0;
    ASSERT_TRUE(ParseDecimal(FormatDecimal(value), &back)) << n;
    ASSERT_EQ(back, value) << n;
  }
  float value = 0;
  for (const char* bad : {"", "-", ".", "1.2.3", " 1", "1,5", "+-1", "1234567890"}) {
    EXPECT_FALSE(ParseDecimal(bad, &value)) << bad;
  }
}

struct TRecord {
  uint16_t Port = 5769;
  bool On = true;
  std::string Text = ",";
};

TEST(SettingRow, FieldsEncodeDecodeAndResetToTheRecordDefault) {
  const std::vector<TSettingRow<TRecord>> rows = {
      {"Text", TKeyKind::kSeparator, 0, -1, -1, 1, 2, 0, TKeyStore::kValue,
       [](TRecord* r) -> TFieldRef { return &r->Text; }},
      {"Port", TKeyKind::kInteger, 16, 1, 65535, 1, 0, 1, TKeyStore::kValue,
       [](TRecord* r) -> TFieldRef { return &r->Port; }},
      {"On", TKeyKind::kBoolean, 0, -1, -1, 1, 1, 2, TKeyStore::kValue,
       [](TRecord* r) -> TFieldRef { return &r->On; }},
  };
  TRecord record;
  const TSettingRow<TRecord>& port = *FindSettingRow(rows, "Port");
  EXPECT_EQ(FindSettingRow(rows, "port"), nullptr);
  EXPECT_TRUE(DecodeField(port.kind, "70000", port.field(&record)));
  EXPECT_EQ(record.Port, 4464);
  EXPECT_FALSE(DecodeField(port.kind, "x", port.field(&record)));
  EXPECT_EQ(FieldNumber(port.field(&record)), 4464);
  EXPECT_TRUE(DecodeField(rows[2].kind, "-3", rows[2].field(&record)));
  EXPECT_EQ(EncodeField(rows[2].kind, rows[2].field(&record)), "1");
  EXPECT_TRUE(DecodeField(rows[0].kind, " ;: ", rows[0].field(&record)));
  EXPECT_EQ(record.Text, "");
  ResetField(port, &record);
  EXPECT_EQ(record.Port, 5769);
  EXPECT_EQ(DefaultText(rows[0]), ",");
  std::string load;
  for (const auto* row : RowsInOrder(rows, &TSettingRow<TRecord>::load_rank)) load += row->name;
  std::string save;
  for (const auto* row : RowsInOrder(rows, &TSettingRow<TRecord>::save_rank)) save += row->name;
  EXPECT_EQ(load, "PortOnText");
  EXPECT_EQ(save, "TextPortOn");
}

}  // namespace

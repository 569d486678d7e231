#include "wkcfg/ui/form_screen.h"

#include <gtest/gtest.h>

#include "wkcfg/ui/config_screens.h"
#include "wkcfg/ui/screen_test_tree.h"

namespace {

TFormRow Row(TRowKind kind, bool shown, bool editable) {
  TFormRow row;
  row.Kind = kind;
  row.Shown = [shown] { return shown; };
  row.Editable = [editable] { return editable; };
  return row;
}

}  // namespace

TEST(FormFocus, RowsThatCannotTakeTheFocus) {
  struct {
    TRowKind kind;
    bool shown, editable, focusable;
  } cases[] = {
      {TRowKind::kYesNo, true, true, true},  {TRowKind::kNumber, false, true, false},
      {TRowKind::kText, true, false, false}, {TRowKind::kBlank, true, true, false},
      {TRowKind::kButton, true, true, true}, {TRowKind::kPassword, false, false, false},
  };
  for (const auto& c : cases) {
    const TFormRow row = Row(c.kind, c.shown, c.editable);
    EXPECT_EQ(RowFocusable(row), c.focusable) << static_cast<int>(c.kind);
    EXPECT_EQ(RowShown(row), c.shown);
  }
  // Without conditions a row is always shown and editable.
  TFormRow plain;
  plain.Kind = TRowKind::kText;
  EXPECT_TRUE(RowFocusable(plain));
}

TEST(FormFocus, PassesOverInTheDirectionOfMovementAndWraps) {
  const std::vector<bool> rows{true, false, true, false, false};
  struct {
    std::vector<bool> focusable;
    int from, step, expected;
  } moves[] = {
      {rows, 0, 1, 2}, {rows, 2, 1, 0},  {rows, 0, -1, 2},           {rows, 2, -1, 0},
      {rows, 1, 1, 2}, {rows, 4, -1, 2}, {{false, false}, 0, 1, -1}, {{true}, 0, 1, 0},
      {{}, 0, 1, -1},
  };
  for (const auto& m : moves) {
    EXPECT_EQ(NextFocus(m.focusable, m.from, m.step), m.expected) << m.from << " " << m.step;
  }
  struct {
    int focus, last_key, expected;
  } settles[] = {
      {0, kKeyNone, 0}, {1, kKeyDown, 2}, {1, kKeyUp, 0},   {3, kKeyEnter, 0},
      {4, kKeyTab, 0},  {3, kKeyUp, 2},   {-1, kKeyEsc, 0}, {9, kKeyNone, 0},
  };
  for (const auto& s : settles) {
    EXPECT_EQ(SettleFocus(rows, s.focus, s.last_key), s.expected) << s.focus << " " << s.last_key;
  }
  EXPECT_EQ(SettleFocus({false, false}, 0, kKeyDown), -1);
}

TEST(FormRows, LabelsArePaddedButtonsKeepTheirWidth) {
  std::vector<TFormRow> rows{TextRow("ab:", nullptr), BlankRow(), TextRow("abcde:", nullptr),
                             ButtonRow(" [ Go ] ", [] { return true; })};
  EXPECT_EQ(PaddedLabels(rows), (TextList{"ab:   ", "", "abcde:", " [ Go ] "}));
  EXPECT_EQ(YesNoText(true), "Yes  ");
  EXPECT_EQ(YesNoText(false), "No  ");
  EXPECT_TRUE(YesNoValue("Yes"));
  EXPECT_FALSE(YesNoValue("No"));
  EXPECT_FALSE(YesNoValue("Yes  "));
}

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
    row.AllowsMinusOne = c.minus_one;
    int32_t value = 0;
    EXPECT_EQ(RowNumber(row, c.work, false, &value), c.valid) << c.key << " " << c.work;
    EXPECT_EQ(value, c.value) << c.key << " " << c.work;
  }
  EXPECT_EQ(term_.writes().size(), 0u);

  // Shown in the label's unit, stored back in the field's.
  Record().Server.SrvDownTime = 185;
  Record().LogData.LogMaxSize = 2147483647;
  Record().Ups.UpsLoadPercent = 87.5f;
  EXPECT_EQ(NumberRow("m:", "SrvDownTime").Value(), "3");
  EXPECT_EQ(NumberRow("kB:", "LogMaxSize").Value(), "2147483");
  EXPECT_EQ(NumberRow("%:", "UpsLoadPercent").Value(), "88");
  EXPECT_TRUE(NumberRow("m:", "SrvDownTime").Store("5"));
  EXPECT_EQ(Record().Server.SrvDownTime, 300);
  NumberRow("kB:", "DataMaxSize").Store("2147483");
  EXPECT_EQ(Record().LogData.DataMaxSize, 2147483000);
  NumberRow("%:", "UpsLoadPercent").Store("-1");
  EXPECT_EQ(Record().Ups.UpsLoadPercent, -1.0f);
}

TEST(RestartDelay, RaisedAboveTheSwitchOffAndKeptInTheModelsLimits) {
  struct {
    int mode, min, max, off, on, expected;
  } cases[] = {
      {3, 10, 900, 180, 60, 185},   // below the switch-off: raised
      {3, 10, 900, 180, 400, 400},  // already later: kept
      {3, 300, 900, 180, 60, 300},  // the model's minimum wins
      {3, 10, 100, 180, 60, 100},   // the maximum wins over the raise
      {3, 10, 900, 180, 950, 900},  // above the maximum: lowered
      {1, 10, 900, 180, 60, 60},    // other modes: untouched
      {3, 0, 65535, 65535, 0, 65535},
  };
  for (const auto& c : cases) {
    TUpsCapabilities caps;
    caps.UpsOnMode = c.mode;
    caps.UpsOnDelayMin = c.min;
    caps.UpsOnDelayMax = c.max;
    TUpsSetup ups;
    ups.UpsOffDelay = c.off;
    ups.UpsOnDelay = c.on;
    ApplyRestartDelayRule(caps, &ups);
    EXPECT_EQ(ups.UpsOnDelay, c.expected) << c.mode << " " << c.min << " " << c.max << " " << c.on;
  }
  TUpsCapabilities caps;
  caps.UpsOnDelayMin = 200;
  TUpsSetup ups;
  ups.UpsOffDelay = 100;
  EXPECT_EQ(RestartDelayLowerLimit(caps, ups), 200);
  ups.UpsOffDelay = 300;
  EXPECT_EQ(RestartDelayLowerLimit(caps, ups), 305);
}

TEST(RestartDelay, StepLists) {
  struct {
    int min, max, step;
    TextList expected;
  } cases[] = {
      {30, 120, 30, {"30", "60", "90", "120"}},
      {30, 100, 30, {"30", "60", "90"}},
      {300, 100, 30, {}},  // minimum above maximum: nothing to offer
      {0, 100, 0, {}},     // no step: no endless list
      {65500, 65535, 30, {"65500", "65530"}},
  };
  for (const auto& c : cases) {
    TUpsCapabilities caps;
    caps.UpsOnDelayMin = c.min;
    caps.UpsOnDelayMax = c.max;
    caps.UpsOnDelayStep = c.step;
    EXPECT_EQ(RestartDelaySteps(caps), c.expected) << c.min << " " << c.max << " " << c.step;
  }
}

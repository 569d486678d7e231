#include "tui/form_screen.h"

#include <gtest/gtest.h>

#include "tui/crt.h"

namespace {

TFormRow Row(TRowKind kind, bool shown, bool editable) {
  TFormRow row;
  row.kind = kind;
  row.shown = [shown] { return shown; };
  row.editable = [editable] { return editable; };
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
  plain.kind = TRowKind::kText;
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
  EXPECT_EQ(PaddedLabels(rows), (TTextList{"ab:   ", "", "abcde:", " [ Go ] "}));
  EXPECT_EQ(YesNoText(true), "Yes  ");
  EXPECT_EQ(YesNoText(false), "No  ");
  EXPECT_TRUE(YesNoValue("Yes"));
  EXPECT_FALSE(YesNoValue("No"));
  EXPECT_FALSE(YesNoValue("Yes  "));
}

TEST(FormRows, NumberRowReadsAndWritesThroughItsBinding) {
  int64_t field = 42;
  TFormRow row = NumberRow(
      "n:", [&field] { return field / 10; }, [&field](int64_t value) { field = value * 10; }, 1,
      99);
  EXPECT_EQ(row.kind, TRowKind::kNumber);
  EXPECT_EQ(row.value(), "4");
  int32_t value = 0;
  EXPECT_TRUE(RowNumber(row, "99", false, &value));
  EXPECT_EQ(value, 99);
  EXPECT_FALSE(RowNumber(row, "100", false, &value));
  EXPECT_FALSE(RowNumber(row, "0", false, &value));
  EXPECT_TRUE(row.store("7"));
  EXPECT_EQ(field, 70);
}

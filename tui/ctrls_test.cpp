#include "tui/ctrls.h"

#include <gtest/gtest.h>

#include "tui/fake_terminal.h"

namespace {

const TColors kLabel = MakeColors(15, 4);
const TColors kField = MakeColors(15, 0);
const TColors kListNormal = MakeColors(0, 15);
const TColors kListHigh = MakeColors(15, 1);
const TColors kHigh = MakeColors(0, 7);

uint8_t AttrOf(TColors colors) {
  return static_cast<uint8_t>((ForegroundOf(colors) & 0x0f) | ((BackgroundOf(colors) & 7) << 4));
}

class CtrlsTest : public ::testing::Test {
 protected:
  void SetUp() override { UseTerminal(&term_); }
  void TearDown() override { UseTerminal(nullptr); }

  // Row `row` (1-based) of the current window as shown.
  std::string WindowRow(int row) const {
    const auto& w = term_.window();
    return term_.ScreenRow(w.row + row).substr(w.column, w.columns);
  }
  bool Wrote(const std::string& text) const {
    for (const auto& write : term_.writes()) {
      if (write.text.find(text) != std::string::npos) return true;
    }
    return false;
  }

  TFakeTerminal term_{80, 25};
};

}  // namespace

TEST(PadText, Modes) {
  struct {
    std::string text;
    int width, mode;
    std::string expected;
  } cases[] = {
      {"ab", 6, kPadLeftJustify, "ab    "},
      {"ab", 6, kPadCentre, "  ab  "},
      {"abc", 6, kPadCentre, "  abc "},
      {"ab", 6, kPadRightJustify, "    ab"},
      {"", 6, kPadLeftJustify, ""},
      {"abcdef", 6, kPadCentre, "abcdef"},
      {"abcdefg", 6, kPadRightJustify, "abcdefg"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PadText(c.text, c.width, c.mode), c.expected) << c.text << " " << c.mode;
  }
  TTextList list{"a", "", "abcd"};
  PadList(&list, 3, kPadRightJustify);
  EXPECT_EQ(list, (TTextList{"  a", "", "abcd"}));
  EXPECT_EQ(MaxItemWidth(list), 4);
  EXPECT_EQ(MaxItemWidth({}), 0);
  EXPECT_EQ(MaskText("pa ss"), "*****");
  EXPECT_EQ(MaskText(""), "");
}

TEST_F(CtrlsTest, WriteAtClearFieldAndButton) {
  WriteAt(3, 2, "ab", true, true, kLabel);
  EXPECT_EQ(term_.ScreenRow(2).substr(0, 8), "   ab   ");
  EXPECT_EQ(term_.AttrAt(3, 2), 0x4f);
  ClearField(4, 2, 2);
  EXPECT_EQ(term_.ScreenRow(2).substr(0, 8), "        ");
  EXPECT_EQ(term_.cursor_column(), 3);
  WriteCentered("title", 75, 1, kLabel);
  EXPECT_EQ(term_.ScreenRow(1).substr(34, 5), "title");
  EXPECT_EQ(ButtonField(10, 5, "[ OK ]", kLabel, kHigh, false), -1);
  EXPECT_EQ(term_.AttrAt(10, 5), 0x4f);
  term_.AddKeys({kKeyEnter});
  EXPECT_EQ(ButtonField(10, 5, "[ OK ]", kLabel, kHigh, true), kKeyEnter);
  EXPECT_EQ(term_.AttrAt(10, 5), 0x70);
  EXPECT_EQ(term_.cursor_column(), 9);
}

TEST_F(CtrlsTest, MenuBoxSkipsSeparatorsAndWraps) {
  const TTextList nine{"A", "B", "C", "D", "E", "F", "", "G", "H"};
  const TTextList three{"System", "", "Exit"};
  const int D = kKeyDown, U = kKeyUp, E = kKeyEnter;
  struct {
    const char* name;
    TTextList entries;
    std::vector<int> keys;
    int expected;
    int beeps;
  } cases[] = {
      {"first", nine, {E}, 1, 0},
      {"up wraps to last", nine, {U, E}, 9, 0},
      {"down over separator", nine, {D, D, D, D, D, D, E}, 8, 0},
      {"up over separator", nine, {U, U, U, E}, 6, 0},
      {"down wraps to first", nine, {U, D, E}, 1, 0},
      {"three: down", three, {D, E}, 3, 0},
      {"three: down twice wraps", three, {D, D, E}, 1, 0},
      {"three: up", three, {U, E}, 3, 0},
      {"three: up twice", three, {U, U, E}, 1, 0},
      {"leading separator", {"", "A", ""}, {E}, 2, 0},
      {"other keys beep", three, {'x', kKeyTab, kKeyEsc, E}, 1, 3},
      {"resize", three, {D, kKeyResize}, kKeyResize, 0},
      {"quit", three, {D}, kKeyQuit, 0},
  };
  for (const auto& c : cases) {
    term_.ClearRecord();
    term_.AddKeys(c.keys);
    EXPECT_EQ(MenuBox("T", 2, 75, 4, kHigh, kLabel, c.entries, 22), c.expected) << c.name;
    EXPECT_EQ(term_.beeps(), c.beeps) << c.name;
    EXPECT_EQ(term_.keys_left(), 0) << c.name;
  }
}

TEST_F(CtrlsTest, MenuBoxLayout) {
  const std::string title = "Voltmon Manager - Wattkeep Configuration [Version 1.0.16.0]";
  term_.AddKeys({kKeyDown});
  MenuBox(title, 2, 75, 4, kHigh, kLabel, {"System", "", "Exit"}, 22);
  // Title at (75 - 59) div 2; entries centred in 71 at column 3 from row
  // (22 - 3) div 2.
  EXPECT_EQ(WindowRow(2).substr(7, title.size()), title);
  std::string exit_row = WindowRow(11);
  EXPECT_EQ(exit_row.substr(2, 71), PadText("Exit", 71, kPadCentre));
  const auto& w = term_.window();
  EXPECT_EQ(term_.AttrAt(w.column + 3, w.row + 11), AttrOf(kHigh));
  EXPECT_EQ(term_.AttrAt(w.column + 3, w.row + 9), AttrOf(kLabel));
  EXPECT_EQ(term_.cursor_column(), 74);
  EXPECT_EQ(term_.cursor_row(), 21);
}

TEST_F(CtrlsTest, EditFieldKeys) {
  const int E = kKeyEnter, BS = kKeyBackspace;
  struct {
    const char* name;
    std::string value;
    bool numeric;
    int max_len;
    std::vector<int> keys;
    int result;
    std::string stored;
    int beeps;
  } cases[] = {
      {"untouched enter ignored", "old", false, 10, {E, E, kKeyTab}, kKeyTab, "old", 0},
      {"untouched esc leaves", "old", false, 10, {kKeyEsc}, kKeyEsc, "old", 0},
      {"untouched arrows leave", "old", false, 10, {kKeyDown}, kKeyDown, "old", 0},
      {"untouched up", "old", false, 10, {kKeyUp}, kKeyUp, "old", 0},
      {"typed replaces", "old", false, 10, {'n', 'e', 'w', E}, E, "new", 0},
      {"trimmed", "old", false, 10, {' ', 'a', ' ', 'b', ' ', E}, E, "a b", 0},
      {"touched tab beeps", "old", false, 10, {'x', kKeyTab, kKeyDown, E}, E, "x", 2},
      {"touched esc restores, focus stays",
       "old",
       false,
       10,
       {'x', kKeyEsc, kKeyTab},
       kKeyTab,
       "old",
       0},
      {"after esc untouched again",
       "old",
       false,
       10,
       {'x', kKeyEsc, E, kKeyEsc},
       kKeyEsc,
       "old",
       0},
      {"backspace", "", false, 10, {'a', 'b', 'c', BS, 'd', E}, E, "abd", 0},
      {"backspace at start", "", false, 10, {'a', BS, BS, 'b', E}, E, "b", 0},
      {"emptied text field stores empty", "old", false, 10, {'a', BS, E}, E, "", 0},
      {"max length", "", false, 3, {'a', 'b', 'c', 'd', E}, E, "abc", 1},
      {"numeric refuses letters", "5", true, 10, {'1', 'a', ' ', '2', E}, E, "12", 2},
      {"numeric minus", "5", true, 10, {'-', '7', E}, E, "-7", 0},
      {"numeric empty enter refused", "5", true, 10, {'1', BS, E, '8', E}, E, "8", 0},
      {"control keys beep", "old", false, 10, {1, 300, kKeyEsc}, kKeyEsc, "old", 2},
      {"resize keeps old value", "old", false, 10, {'x', kKeyResize}, kKeyResize, "old", 0},
      {"quit keeps old value", "old", false, 10, {'x'}, kKeyQuit, "old", 0},
  };
  for (const auto& c : cases) {
    term_.ClearRecord();
    term_.AddKeys(c.keys);
    std::string value = c.value;
    EXPECT_EQ(EditField(3, 5, c.max_len, "Name:", &value, kLabel, kField, c.numeric, true, false),
              c.result)
        << c.name;
    EXPECT_EQ(value, c.stored) << c.name;
    EXPECT_EQ(term_.beeps(), c.beeps) << c.name;
    EXPECT_EQ(term_.keys_left(), 0) << c.name;
  }
}

TEST_F(CtrlsTest, EditFieldDrawing) {
  std::string value = "  padded ";
  EXPECT_EQ(EditField(3, 5, 12, "Name:", &value, kLabel, kField, false, false, false), -1);
  EXPECT_EQ(value, "padded");
  // Label at column 3, field one blank after it, padded to max_len.
  EXPECT_EQ(term_.ScreenRow(5).substr(2, 20), "Name:   padded      ");
  EXPECT_EQ(term_.AttrAt(3, 5), AttrOf(kLabel));
  EXPECT_EQ(term_.AttrAt(9, 5), AttrOf(kField));
  EXPECT_EQ(term_.AttrAt(20, 5), AttrOf(kField));

  value = "";
  EditField(3, 7, 4, "E:", &value, kLabel, kField, false, false, false);
  EXPECT_EQ(term_.AttrAt(6, 7), AttrOf(kField));  // an empty value still shows a blank

  value = "oldvalue";
  term_.AddKeys({'n'});
  EditField(3, 9, 12, "Name:", &value, kLabel, kField, false, true, false);
  EXPECT_EQ(term_.ScreenRow(9).substr(8, 12), "n           ");
  term_.AddKeys({'n', 'o', kKeyEsc});
  EditField(3, 9, 12, "Name:", &value, kLabel, kField, false, true, false);
  EXPECT_EQ(term_.ScreenRow(9).substr(8, 12), "oldvalue    ");
  EXPECT_EQ(term_.cursor_column(), 8);
  term_.AddKeys({'a', 'b', 'c', kKeyBackspace});
  EditField(3, 9, 12, "Name:", &value, kLabel, kField, false, true, false);
  EXPECT_EQ(term_.ScreenRow(9).substr(8, 12), "ab          ");
  EXPECT_EQ(term_.cursor_column(), 10);
}

TEST_F(CtrlsTest, PasswordFieldShowsOneAsteriskPerCharacter) {
  std::string value = "secret";
  EditField(3, 5, 12, "Pw:", &value, kLabel, kField, false, false, true);
  EXPECT_EQ(term_.ScreenRow(5).substr(6, 12), "******      ");
  term_.AddKeys({'a', 'b', 'c', kKeyBackspace, kKeyEnter});
  EXPECT_EQ(EditField(3, 5, 12, "Pw:", &value, kLabel, kField, false, true, true), kKeyEnter);
  EXPECT_EQ(value, "ab");
  EXPECT_EQ(term_.ScreenRow(5).substr(6, 12), "**          ");
  for (const auto& write : term_.writes()) {
    EXPECT_EQ(write.text.find_first_of("abcs"), std::string::npos) << write.text;
  }
}

TEST_F(CtrlsTest, ChoiceField) {
  const TTextList yes_no{"Yes  ", "No  "};
  const int E = kKeyEnter;
  struct {
    const char* name;
    std::vector<int> keys;
    int result;
    std::string stored;
    int beeps;
  } cases[] = {
      {"choose first", {E, E}, E, "Yes", 0},
      {"choose second", {E, kKeyDown, E}, E, "No", 0},
      {"list closed with esc", {E, kKeyDown, kKeyEsc}, -1, "No", 0},
      {"esc leaves", {kKeyEsc}, kKeyEsc, "No", 0},
      {"arrows leave", {kKeyUp}, kKeyUp, "No", 0},
      {"tab and letters refused", {kKeyTab, 'y', kKeyDown}, kKeyDown, "No", 2},
      {"other key reopens the list", {E, 'x', kKeyDown, E}, E, "No", 1},
      {"resize in the list", {E, kKeyResize}, kKeyResize, "Yes", 0},
  };
  for (const auto& c : cases) {
    term_.ClearRecord();
    term_.AddKeys(c.keys);
    std::string value = "No  ";
    EXPECT_EQ(ChoiceField(3, 5, 75, 22, kLabel, kField, kListNormal, kListHigh, "Enable:", yes_no,
                          kPadLeftJustify, &value, true),
              c.result)
        << c.name;
    EXPECT_EQ(value, c.stored) << c.name;
    EXPECT_EQ(term_.beeps(), c.beeps) << c.name;
    EXPECT_EQ(term_.keys_left(), 0) << c.name;
  }
  UseTerminal(&term_);
  std::string value = "Yes  ";
  EXPECT_EQ(ChoiceField(3, 5, 75, 22, kLabel, kField, kListNormal, kListHigh, "Enable:", yes_no,
                        kPadLeftJustify, &value, false),
            -1);
  // Value width 75 - 3 - 7 - 23 = 42; the hint follows at 3 + 7 + 42 + 2.
  EXPECT_EQ(value, "Yes");
  EXPECT_EQ(term_.ScreenRow(5).substr(53, 19), " <-- ENTER for List");
  EXPECT_EQ(term_.ScreenRow(5).substr(9, 5), " Yes ");
}

TEST_F(CtrlsTest, PopupListScrollMarksAndChoice) {
  TTextList items;
  for (int i = 0; i < 10; ++i) items.push_back("item" + std::to_string(i));
  std::string chosen;
  // Height 10 + 1 capped at 10 - 4 = 6: five entry rows between the marks.
  term_.AddKeys({kKeyEnter});
  EXPECT_EQ(PopupList(-1, -1, 20, 10, 10, kListNormal, kListHigh, items, kPadLeftJustify, &chosen),
            kKeyEnter);
  EXPECT_EQ(chosen, "item0");
  EXPECT_EQ(term_.window().lines, 7);
  EXPECT_EQ(WindowRow(1)[10], ' ');
  EXPECT_EQ(WindowRow(7)[10], 'v');
  EXPECT_EQ(WindowRow(2).substr(0, 20), " item0              ");
  EXPECT_EQ(WindowRow(6).substr(0, 6), " item4");

  term_.AddKeys({kKeyDown, kKeyDown, kKeyDown, kKeyDown, kKeyDown, kKeyEsc});
  EXPECT_EQ(PopupList(-1, -1, 20, 10, 10, kListNormal, kListHigh, items, kPadLeftJustify, &chosen),
            kKeyEsc);
  EXPECT_EQ(chosen, "item5");  // stored whatever key closed the list
  EXPECT_EQ(WindowRow(1)[10], '^');
  EXPECT_EQ(WindowRow(7)[10], 'v');
  EXPECT_EQ(WindowRow(2).substr(0, 6), " item1");
  EXPECT_EQ(WindowRow(6).substr(0, 6), " item5");
  const auto& w = term_.window();
  EXPECT_EQ(term_.AttrAt(w.column + 1, w.row + 6), AttrOf(kListHigh));
  EXPECT_EQ(term_.AttrAt(w.column + 1, w.row + 5), AttrOf(kListNormal));

  std::vector<int> to_end(12, kKeyDown);
  to_end.push_back('q');
  term_.AddKeys(to_end);
  EXPECT_EQ(PopupList(-1, -1, 20, 10, 10, kListNormal, kListHigh, items, kPadLeftJustify, &chosen),
            'q');
  EXPECT_EQ(chosen, "item9");
  EXPECT_EQ(WindowRow(7)[10], ' ');
  EXPECT_EQ(WindowRow(6).substr(0, 6), " item9");
  // Back up: the list scrolls only once the selection leaves the shown rows.
  term_.AddKeys({kKeyDown, kKeyDown, kKeyDown, kKeyDown, kKeyDown, kKeyUp, kKeyDown, kKeyEnter});
  PopupList(-1, -1, 20, 10, 10, kListNormal, kListHigh, items, kPadLeftJustify, &chosen);
  EXPECT_EQ(chosen, "item5");
  EXPECT_EQ(WindowRow(2).substr(0, 6), " item1");
}

TEST_F(CtrlsTest, PopupListSmallAndOversizedCounts) {
  std::string chosen;
  // Two entries, a window of the minimum height 3 at (5, 9), no marks.
  term_.AddKeys({kKeyDown, kKeyDown, kKeyEnter});
  EXPECT_EQ(
      PopupList(5, 9, 30, 22, 2, kListNormal, kListHigh, {"a", "b"}, kPadLeftJustify, &chosen),
      kKeyEnter);
  EXPECT_EQ(chosen, "b");
  EXPECT_EQ(term_.window().column, 5);
  EXPECT_EQ(term_.window().row, 9);
  EXPECT_EQ(term_.window().lines, 4);
  EXPECT_EQ(WindowRow(4)[16], ' ');
  // An item count above the real list sizes the window but never selects
  // past the last entry.
  term_.AddKeys({kKeyDown, kKeyDown, kKeyDown, kKeyDown, kKeyEnter});
  PopupList(5, 9, 60, 11, 11, kListNormal, kListHigh, {"j1", "j2", "j3"}, kPadLeftJustify, &chosen);
  EXPECT_EQ(chosen, "j3");
  term_.AddKeys({kKeyEnter});
  PopupList(5, 9, 60, 11, 11, kListNormal, kListHigh, {}, kPadLeftJustify, &chosen);
  EXPECT_EQ(chosen, "");
}

TEST_F(CtrlsTest, PopupListCutsLongEntriesOnlyOnTheScreen) {
  std::string chosen;
  term_.AddKeys({kKeyDown, kKeyEnter});
  PopupList(5, 9, 10, 22, 2, kListNormal, kListHigh, {"a123456789XYZ", "b123456789XYZ"},
            kPadLeftJustify, &chosen);
  EXPECT_EQ(chosen, "b123456789XYZ");
  EXPECT_EQ(WindowRow(2), " a12345678 ");
  EXPECT_EQ(WindowRow(3), " b12345678 ");
  EXPECT_EQ(WindowRow(4), std::string(11, ' '));
}

TEST(CheckNumber, BoundsAndValue) {
  struct {
    std::string text;
    int32_t min, max;
    bool valid;
    int32_t value;
  } cases[] = {
      {"50", 0, 100, true, 50},       {"0", 0, 100, true, 0},
      {"100", 0, 100, true, 100},     {"101", 0, 100, false, -1},
      {"-5", 0, 100, false, -1},      {"abc", 0, 100, false, -1},
      {"", 0, 100, false, -1},        {" 5", 0, 100, false, -1},
      {"-7", -1, -1, true, -7},       {"-1", -1, -1, false, -1},
      {"99999", 1, -1, true, 99999},  {"2147483648", -1, -1, false, -1},
      {"65536", 1, 65535, false, -1},
  };
  for (const auto& c : cases) {
    int32_t value = 12345;
    EXPECT_EQ(CheckNumber(c.text, c.min, c.max, false, &value), c.valid) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST_F(CtrlsTest, CheckNumberMessage) {
  int32_t value = 0;
  term_.AddKeys({'k'});
  EXPECT_FALSE(CheckNumber("101", 0, 100, true, &value));
  EXPECT_EQ(WindowRow(2),
            PadText("Error !  Number is invalid or out of range [0 - 100]", 60, kPadCentre) + " ");
  EXPECT_EQ(term_.AttrAt(term_.window().column + 1, term_.window().row + 2), 0x1f);
  EXPECT_EQ(term_.keys_left(), 0);
  EXPECT_EQ(term_.beeps(), 1);
  EXPECT_TRUE(CheckNumber("7", 0, 100, true, &value));
  EXPECT_EQ(term_.windows().size(), 1u);
}

TEST_F(CtrlsTest, PressAnyKeyBoxLayoutAndRedrawAfterResize) {
  term_.AddResize(100, 30);
  term_.AddKeys({'k'});
  PressAnyKeyBox("Saved", MakeColors(15, 2));
  EXPECT_EQ(term_.windows().size(), 2u);
  EXPECT_EQ(term_.window().columns, 61);
  EXPECT_EQ(term_.window().column, (99 - 60) / 2);
  EXPECT_EQ(WindowRow(2).substr(0, 60), PadText("Saved", 60, kPadCentre));
  EXPECT_EQ(WindowRow(6).substr(16, 25), "Press any key to continue");
  EXPECT_EQ(term_.cursor_column(), 29);
  EXPECT_EQ(term_.keys_left(), 0);
}

TEST_F(CtrlsTest, EscapeHintLine) {
  EXPECT_EQ(EscapeHintLine(75, 22, kLabel, false), -1);
  EXPECT_EQ(term_.ScreenRow(22).substr(0, 75),
            PadText("<< Press [ESC] to return to Main Menu >>", 75, kPadCentre));
  term_.AddKeys({'a', kKeyEnter, kKeyEsc});
  EXPECT_EQ(EscapeHintLine(75, 22, kLabel, true), kKeyEsc);
  EXPECT_EQ(term_.beeps(), 2);
  EXPECT_EQ(EscapeHintLine(75, 22, kLabel, true), kKeyQuit);
}

TEST_F(CtrlsTest, InputBox) {
  std::string result;
  term_.AddKeys({kKeyTab, kKeyDown});
  term_.AddText(" name ");
  term_.AddKeys({kKeyEnter});
  InputBox(75, "Save as:", "", false, false, &result);
  EXPECT_EQ(result, "name");
  EXPECT_EQ(term_.beeps(), 2);
  EXPECT_EQ(term_.window().columns, 71);
  EXPECT_EQ(WindowRow(6).substr(17, 33), "[ENTER] Confirm      [ESC] Cancel");
  EXPECT_EQ(WindowRow(2).substr(1, 15), "Save as:  name ");
  term_.AddText("12");
  term_.AddKeys({kKeyEsc, kKeyEsc});
  InputBox(75, "Port:", " 6005 ", true, false, &result);
  EXPECT_EQ(result, "6005");
  // A resize while typing keeps what was typed.
  term_.AddText("1");
  term_.AddResize(90, 30);
  term_.AddText("2");
  term_.AddKeys({kKeyEnter});
  InputBox(75, "Port:", "6005", true, false, &result);
  EXPECT_EQ(result, "12");
  EXPECT_EQ(WindowRow(2).substr(1, 9), "Port: 12 ");
  EXPECT_EQ(term_.keys_left(), 0);
}

TEST_F(CtrlsTest, ConfirmYesNoBox) {
  struct {
    std::vector<int> keys;
    bool expected;
    int beeps;
  } cases[] = {
      {{'Y'}, true, 1},
      {{'y'}, true, 1},
      {{'n'}, false, 1},
      {{'N'}, false, 1},
      {{'x', kKeyEnter, 'y'}, true, 3},
      {{kKeyResize, 'y'}, true, 2},
      {{}, false, 1},
  };
  for (const auto& c : cases) {
    term_.ClearRecord();
    term_.AddKeys(c.keys);
    EXPECT_EQ(ConfirmYesNoBox(75, "Are you sure ?", true), c.expected);
    EXPECT_EQ(term_.beeps(), c.beeps);
  }
  EXPECT_EQ(WindowRow(2).substr(27, 14), "Are you sure ?");
  EXPECT_EQ(WindowRow(6).substr(20, 27), "[Y] Confirm      [N] Cancel");
  ConfirmYesNoBox(75, "Continue ?", false);
  EXPECT_EQ(WindowRow(2).substr(1, 10), "Continue ?");
}

// A password stored longer than the prompt's field (59 cells at 80
// columns) is typed on past the field's end, the stars never leaving it;
// a resize keeps what was typed.
TEST_F(CtrlsTest, PasswordPromptScrollsForLongerPasswords) {
  const std::string stored(100, 'p');
  ASSERT_EQ(PasswordPromptWidth(75), 59);
  const struct {
    const char* name;
    std::string typed;
    bool expected;
  } cases[] = {
      {"whole", stored, true},
      {"one short, then cancelled", stored.substr(1), false},
  };
  for (const auto& c : cases) {
    term_.ClearRecord();
    term_.AddText(c.typed.substr(0, 40));
    term_.AddResize(80, 25);
    term_.AddText(c.typed.substr(40));
    term_.AddKeys({kKeyEnter});
    if (!c.expected) term_.AddKeys({'k', kKeyEsc});
    EXPECT_EQ(PasswordPrompt(75, stored), c.expected) << c.name;
    EXPECT_EQ(term_.keys_left(), 0) << c.name;
    EXPECT_EQ(Wrote("Wrong password !"), !c.expected) << c.name;
    EXPECT_FALSE(Wrote("pp")) << c.name;
  }
  // The field once all is typed: full, within its box.
  term_.ClearRecord();
  term_.AddText(stored);
  term_.AddKeys({kKeyEnter});
  EXPECT_TRUE(PasswordPrompt(75, stored));
  const std::string row = WindowRow(2);
  EXPECT_NE(row.find("Password: " + std::string(59, '*') + " "), std::string::npos) << row;
  EXPECT_EQ(row.find(std::string(60, '*')), std::string::npos) << row;
}

TEST_F(CtrlsTest, PasswordPrompt) {
  struct {
    const char* name;
    std::string typed;  // "\n" is ENTER, "\x1b" ESC
    bool expected;
    bool wrong_shown;
  } cases[] = {
      {"right", "Secret\n", true, false},
      {"esc", "\x1b", false, false},
      {"blanks only", "   \n", false, false},
      {"case matters, then right", "secret\nkSecret\n", true, true},
      {"wrong, then esc", "bad\nk\x1b", false, true},
  };
  for (const auto& c : cases) {
    term_.ClearRecord();
    for (char ch : c.typed) term_.AddKeys({ch == '\n' ? kKeyEnter : ch});
    EXPECT_EQ(PasswordPrompt(75, "Secret"), c.expected) << c.name;
    EXPECT_EQ(Wrote("Wrong password !"), c.wrong_shown) << c.name;
    EXPECT_FALSE(Wrote("ecret")) << c.name;
    EXPECT_FALSE(Wrote("bad")) << c.name;
    EXPECT_EQ(term_.keys_left(), 0) << c.name;
  }
}

TEST_F(CtrlsTest, ResizedFieldGoesOnOnlyWhereItWasTyped) {
  std::string value = "old";
  term_.AddKeys({'a', 'b', kKeyResize});
  EXPECT_EQ(EditField(3, 5, 10, "Name:", &value, kLabel, kField, false, true, false), kKeyResize);
  EXPECT_EQ(value, "old");
  // Another field, focused first, starts afresh and drops what was kept.
  term_.AddKeys({'x', kKeyEnter});
  EXPECT_EQ(EditField(3, 7, 10, "Other:", &value, kLabel, kField, false, true, false), kKeyEnter);
  EXPECT_EQ(value, "x");
  value = "old";
  term_.AddKeys({'c', kKeyEnter});
  EditField(3, 5, 10, "Name:", &value, kLabel, kField, false, true, false);
  EXPECT_EQ(value, "c");
  // Kept text shown again, cursor after it; ESC still gives back the old value.
  value = "old";
  term_.AddKeys({'a', 'b', kKeyResize});
  EditField(3, 5, 10, "Name:", &value, kLabel, kField, false, true, false);
  term_.AddKeys({kKeyEsc, kKeyEsc});
  EXPECT_EQ(EditField(3, 5, 10, "Name:", &value, kLabel, kField, false, true, false), kKeyEsc);
  EXPECT_EQ(value, "old");
  // A field narrower after the resize keeps what still fits.
  term_.AddText("abcdef");
  term_.AddKeys({kKeyResize});
  EditField(3, 5, 10, "Name:", &value, kLabel, kField, false, true, false);
  term_.AddKeys({kKeyEnter});
  EditField(3, 5, 4, "Name:", &value, kLabel, kField, false, true, false);
  EXPECT_EQ(value, "abcd");
  EXPECT_EQ(term_.ScreenRow(5).substr(8, 4), "abcd");
  EXPECT_EQ(term_.cursor_column(), 12);
}

TEST_F(CtrlsTest, Utf8FieldEditsWholeCharacters) {
  TUtf8Coding utf8;
  if (!utf8.available()) GTEST_SKIP() << "no C.UTF-8 locale";
  const std::string location = "B\xc3\xbcro \xe2\x80\x93 2. OG";
  const int BS = kKeyBackspace;
  struct {
    const char* name;
    std::string typed;
    std::vector<int> keys;  // after the typed bytes
    int max_len;
    std::string stored;
    int beeps;
  } cases[] = {
      {"typed as bytes, stored as typed", location, {}, 20, location, 0},
      {"backspace takes a whole character", "B\xc3\xbc", {BS, 'e'}, 20, "Be", 0},
      {"backspace over a wide one", "\xe6\x97\xa5x", {BS, BS, 'y'}, 20, "y", 0},
      {"max_len in columns",
       "\xc3\xbc\xc3\xbc\xc3\xbc\xc3\xbc",
       {},
       3,
       "\xc3\xbc\xc3\xbc\xc3\xbc",
       1},
      {"a wide one past the end", "ab\xe6\x97\xa5", {}, 3, "ab", 1},
      {"invalid bytes refused",
       "a\xff\xc3"
       "b",
       {},
       20,
       "ab",
       1},
  };
  for (const auto& c : cases) {
    term_.ClearRecord();
    term_.AddText(c.typed);
    term_.AddKeys(c.keys);
    term_.AddKeys({kKeyEnter});
    std::string value = "old";
    EXPECT_EQ(EditField(3, 5, c.max_len, "Name:", &value, kLabel, kField, false, true, false),
              kKeyEnter)
        << c.name;
    EXPECT_EQ(value, c.stored) << c.name;
    EXPECT_EQ(term_.beeps(), c.beeps) << c.name;
  }
  // Drawn character by character, padded by columns, the cursor after it.
  std::string value = "old";
  term_.AddText(location);
  EditField(3, 5, 14, "Name:", &value, kLabel, kField, false, true, false);
  EXPECT_EQ(term_.ScreenRow(5).substr(2), "Name: " + location + std::string(2 + 80 - 22, ' '));
  EXPECT_EQ(term_.cursor_column(), 8 + 12);
  // A stored value: cut on whole characters, unsafe bytes shown as "?".
  value = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";
  EditField(3, 7, 5, "W:", &value, kLabel, kField, false, false, false);
  EXPECT_EQ(term_.ScreenRow(7).substr(2, 10), "W: \xe6\x97\xa5\xe6\x9c\xac ");
  value = "a\x1b[2J\xff";
  EditField(3, 9, 8, "E:", &value, kLabel, kField, false, false, false);
  EXPECT_EQ(term_.ScreenRow(9).substr(2, 11), "E: a?[2J?  ");
  value = "\xc3\xbc\xc3\xbc";
  EditField(3, 11, 6, "P:", &value, kLabel, kField, false, false, true);
  EXPECT_EQ(term_.ScreenRow(11).substr(2, 9), "P: **    ");
}

TEST_F(CtrlsTest, LongErrorTextWrappedAndCutInsideItsBox) {
  std::string message;
  for (int i = 0; i < 400; ++i) message += "word" + std::to_string(i % 10) + "xyz ";
  ASSERT_GT(message.size(), 3500u);
  term_.AddKeys({'k'});
  PressAnyKeyBox(message, MakeColors(15, 1));
  const auto& w = term_.window();
  ASSERT_EQ(w.columns, 61);
  for (int row = 2; row <= 5; ++row) {
    const std::string line = WindowRow(row);
    EXPECT_EQ(line.front(), ' ') << row;
    EXPECT_EQ(line.substr(59), "  ") << row;
    // Whole words only.
    TTextList words;
    SplitToList(' ', TrimBlanks(line), &words, true);
    EXPECT_EQ(words.size(), 6u) << row;
    for (const std::string& word : words) {
      EXPECT_EQ(word.size(), 8u) << row << " " << word;
    }
  }
  EXPECT_EQ(TrimBlanks(WindowRow(6)), "Press any key to continue");
  EXPECT_EQ(TrimBlanks(WindowRow(7)), "");
  // Nothing outside the box.
  EXPECT_EQ(TrimBlanks(term_.ScreenRow(w.row + 8)), "");
  EXPECT_EQ(term_.ScreenRow(w.row + 3).substr(0, w.column), std::string(w.column, ' '));
}

TEST(QuestionBox, WrapsAtBlanksInsideTheBox) {
  const std::string question =
      "If you continue, all previously selected events and autonomy data settings for the UPS "
      "will be deleted. Continue ?";
  // The frame width of the console at 80x24 and at 100x30.
  const struct { int columns, lines, frame_width; } sizes[] = {{80, 24, 75}, {100, 30, 95}};
  for (const auto& size : sizes) {
    for (bool centred : {false, true}) {
      TFakeTerminal term(size.columns, size.lines);
      UseTerminal(&term);
      term.AddKeys({'n'});
      EXPECT_FALSE(ConfirmYesNoBox(size.frame_width, question, centred));
      const auto& w = term.window();
      ASSERT_EQ(w.columns, size.frame_width - 4);
      std::string joined;
      for (int row = 2; row <= 5; ++row) {
        const std::string line = term.ScreenRow(w.row + row).substr(w.column, w.columns);
        EXPECT_EQ(line.front(), ' ') << size.columns << " " << row;
        EXPECT_EQ(line.back(), ' ') << size.columns << " " << row;
        if (!TrimBlanks(line).empty()) joined += (joined.empty() ? "" : " ") + TrimBlanks(line);
      }
      EXPECT_EQ(joined, question) << size.columns;
      if (!centred) {
        EXPECT_EQ(term.ScreenRow(w.row + 2).substr(w.column + 1, 15), "If you continue");
      }
      UseTerminal(nullptr);
    }
  }
}

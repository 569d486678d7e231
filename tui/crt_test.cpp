#include "tui/crt.h"

#include <gtest/gtest.h>

#include "tui/fake_terminal.h"

namespace {

class CrtTest : public ::testing::Test {
 protected:
  void SetUp() override { UseTerminal(&term_); }
  void TearDown() override { UseTerminal(nullptr); }
  TFakeTerminal term_{80, 25};
};

bool WroteContaining(const TFakeTerminal& term, const std::string& text) {
  for (const auto& write : term.writes()) {
    if (write.text.find(text) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

TEST_F(CrtTest, TextAttributeBits) {
  struct {
    uint8_t start;
    int foreground, background;
    uint8_t expected;
  } cases[] = {
      {0x07, 15, 4, 0x4f},   // bright white on blue
      {0x8f, 0, 7, 0x70},    // a colour clears blink
      {0x1f, 128, 2, 0xaf},  // 128 only sets blink, keeps the colour
      {0x07, 9, 0, 0x09},
  };
  for (const auto& c : cases) {
    SetTextAttr(c.start);
    SetTextColors(c.foreground, c.background);
    EXPECT_EQ(TextAttr(), c.expected) << int(c.start) << " " << c.foreground;
  }
  SetTextAttr(0x4f);
  SetTextBackground(1);
  EXPECT_EQ(TextAttr(), 0x1f);
  SetTextColor(0);
  EXPECT_EQ(TextAttr(), 0x10);
  EXPECT_EQ(ScreenWidth(), 79);
  EXPECT_EQ(ScreenHeight(), 24);
}

TEST_F(CrtTest, WindowGeometry) {
  OpenCenteredWindow(75, 22, 4);
  // (79 - 75) div 2 + 1 = 3, (24 - 22) div 2 + 1 = 2; one more than w and h.
  EXPECT_EQ(WindowLeft(), 3);
  EXPECT_EQ(WindowTop(), 2);
  EXPECT_EQ(WindowRight(), 78);
  EXPECT_EQ(WindowBottom(), 24);
  EXPECT_EQ(term_.window().columns, 76);
  EXPECT_EQ(term_.window().lines, 23);
  EXPECT_EQ(term_.AttrAt(3, 2), 0x47);  // cleared in the new background
  OpenWindowAt(5, 9, 69, 7, 7);
  EXPECT_EQ(term_.window().column, 5);
  EXPECT_EQ(term_.window().row, 9);
  EXPECT_EQ(WindowRight(), 75);
  term_.FailNewWindows();
  OpenWindow(1, 1, 10, 10);
  EXPECT_EQ(WindowLeft(), 6);  // a failed window keeps the current one
  EXPECT_EQ(term_.window().column, 5);
}

TEST_F(CrtTest, MoveCursorIgnoresCoordinatesOutsideTheWindow) {
  OpenWindow(11, 6, 20, 10);  // 10 columns, 5 rows
  MoveCursor(4, 3);
  EXPECT_EQ(term_.cursor_column(), 3);
  EXPECT_EQ(term_.cursor_row(), 2);
  MoveCursor(0, 5);
  EXPECT_EQ(term_.cursor_column(), 3);
  EXPECT_EQ(term_.cursor_row(), 4);
  MoveCursor(10, 6);
  EXPECT_EQ(term_.cursor_column(), 9);
  EXPECT_EQ(term_.cursor_row(), 4);
  MoveCursor(11, 1);
  EXPECT_EQ(term_.cursor_column(), 9);
  EXPECT_EQ(term_.cursor_row(), 0);
}

TEST_F(CrtTest, ResizeGivesBackTheWholeScreenAndCallsTheCallback) {
  int calls = 0;
  SetResizeCallback([&] { ++calls; });
  OpenCenteredWindow(40, 10, 4);
  term_.AddResize(100, 30);
  EXPECT_EQ(ReadKeyCode(), kKeyResize);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ScreenWidth(), 99);
  EXPECT_EQ(ScreenHeight(), 29);
  EXPECT_EQ(WindowLeft(), 1);
  EXPECT_EQ(WindowRight(), 100);
  EXPECT_EQ(term_.window().columns, 100);
}

TEST_F(CrtTest, TooSmallTerminalWaitsForAResize) {
  term_.AddResize(60, 20);
  term_.AddKeys({'a', kKeyEnter});
  term_.AddResize(79, 30);
  term_.AddResize(80, 24);
  term_.AddKeys({'z'});
  EXPECT_EQ(ReadKeyCode(), kKeyResize);
  EXPECT_TRUE(WroteContaining(term_, "Terminal too small: 80x24 needed, 60x20 found."));
  EXPECT_TRUE(WroteContaining(term_, "80x24 needed, 79x30 found."));
  EXPECT_EQ(ScreenWidth(), 79);
  EXPECT_EQ(ReadKeyCode(), 'z');
  // The message never reaches the last column.
  term_.AddResize(30, 10);
  EXPECT_EQ(ReadKeyCode(), kKeyQuit);
  EXPECT_EQ(term_.ScreenRow(1).substr(0, 29), "Terminal too small: 80x24 nee");
  EXPECT_EQ(term_.ScreenRow(1)[29], ' ');
}

TEST(CrtStart, WaitForUsableSize) {
  TFakeTerminal small(70, 20);
  UseTerminal(&small);
  EXPECT_FALSE(WaitForUsableSize());
  EXPECT_TRUE(small.Shows("80x24 needed, 70x20 found"));
  TFakeTerminal growing(70, 20);
  UseTerminal(&growing);
  growing.AddResize(80, 25);
  EXPECT_TRUE(WaitForUsableSize());
  TFakeTerminal fine(80, 24);
  UseTerminal(&fine);
  EXPECT_TRUE(WaitForUsableSize());
  EXPECT_TRUE(fine.writes().empty());
  UseTerminal(nullptr);
  EXPECT_EQ(ReadKeyCode(), kKeyQuit);
}

TEST_F(CrtTest, ReadLineEchoesAndErases) {
  term_.AddText("ab");
  term_.AddKeys({kKeyBackspace, 1, 'c', 0xe9, kKeyDelete, 'd', kKeyEnter, 'x'});
  EXPECT_EQ(ReadLineText(), "acd");
  EXPECT_EQ(term_.ScreenRow(1).substr(0, 4), "acd ");
  term_.AddText(std::string(1030, 'q'));
  EXPECT_EQ(ReadLineText(), "x" + std::string(1021, 'q'));
}

TEST_F(CrtTest, ReadLineErasesWholeUtf8CharactersAndWritesSafely) {
  TUtf8Coding utf8;
  if (!utf8.available()) GTEST_SKIP() << "no C.UTF-8 locale";
  // "a", "ü", a wide "日", an invalid byte (dropped), then two erased.
  term_.AddText("a\xc3\xbc\xe6\x97\xa5\xff");
  term_.AddKeys({kKeyDelete, kKeyBackspace, 'b', kKeyEnter});
  EXPECT_EQ(ReadLineText(), "ab");
  EXPECT_EQ(term_.ScreenRow(1).substr(0, 5), "ab   ");
  EXPECT_EQ(term_.cursor_column(), 2);
  MoveCursor(1, 2);
  WriteText("\x1b[31m\xc3");
  EXPECT_EQ(term_.ScreenRow(2).substr(0, 6), "?[31m?");
}

// Texts in a real terminal: UTF-8 typed, drawn, saved and read back in a
// UTF-8 locale, a resize while typing, and long texts kept inside their
// boxes at the smallest terminal.
#include <memory>
#include <string>
#include <vector>

#include "common/ini.h"
#include "tests/wkcfg/console_session.h"

namespace {

const char kUtf8[] = "LANG=C.UTF-8 ";
const char kLocationLabel[] = "Location of UPS/Computer:";
const std::string kLocation = "B\xc3\xbcro \xe2\x80\x93 2. OG";  // "Büro – 2. OG"
const char kModelQuestion[] =
    "If you continue, all previously selected events and autonomy data settings for the UPS will "
    "be deleted. Continue ?";

// A console on `config` in a UTF-8 terminal of columns x lines, at the
// System Configuration screen.
std::unique_ptr<TConsoleSession> AtSystemScreen(const std::string& config, int columns = 80,
                                                int lines = 25) {
  auto console = std::make_unique<TConsoleSession>(config);
  console->term().UseUtf8();
  EXPECT_TRUE(console->Start("", columns, lines, kUtf8));
  EXPECT_TRUE(console->Shows("Wattkeep Configuration"));
  EXPECT_TRUE(console->Open("System Configuration", "SYSTEM CONFIGURATION"));
  return console;
}

// The text of rows `first` to `first + count - 1` of `screen` between the
// 0-based columns `left` and `right` (inclusive), which must be blank, each
// trimmed and joined by one blank.
::testing::AssertionResult BoxedText(const std::string& screen, size_t first, size_t count,
                                     size_t left, size_t right, std::string* text) {
  TTextList rows = SplitLines(screen);
  text->clear();
  for (size_t i = first; i < first + count && i < rows.size(); ++i) {
    std::string row = rows[i] + std::string(right + 1, ' ');
    if (row[left] != ' ' || row[right] != ' ')
      return ::testing::AssertionFailure() << "row " << i << " touches the box's edge:\n" << screen;
    const std::string inside = TrimBlanks(row.substr(left, right - left + 1));
    if (!inside.empty()) *text += (text->empty() ? "" : " ") + inside;
  }
  return ::testing::AssertionSuccess();
}

size_t RowOf(const std::string& screen, const std::string& text) {
  TTextList rows = SplitLines(screen);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].find(text) != std::string::npos) return i;
  }
  return rows.size();
}

}  // namespace

TEST(ConsoleText, Utf8LocationTypedDrawnSavedAndReadBack) {
  auto console = AtSystemScreen(ServerConfig(kTestModel, "UpsDevice=USB\n"));
  ASSERT_TRUE(console->Keys({"Down", "Down"}));
  ASSERT_TRUE(console->Type(kLocation));
  ASSERT_TRUE(console->Keys({"Enter"}));
  ASSERT_TRUE(console->ShowsValue(kLocationLabel, kLocation));
  ASSERT_TRUE(console->Keys({"Escape"}));
  ASSERT_TRUE(console->Shows("Events Configuration"));
  ASSERT_TRUE(console->SaveAndExit());
  EXPECT_EQ(kLocation, console->Saved("SrvLocation"));

  // Another console reads the file back and draws the same characters, the
  // field still as wide as ever.
  auto again = AtSystemScreen(console->Config());
  ASSERT_TRUE(again->ShowsValue(kLocationLabel, kLocation));
  const std::string line = again->Line(kLocationLabel);
  const std::string device = again->Line("Device for communications:");
  EXPECT_EQ(line.find(kLocation) - line.find(kLocationLabel),
            device.find("USB") - device.find("Device for communications:"))
      << again->Screen();
}

TEST(ConsoleText, ResizeWhileTypingKeepsTheText) {
  auto console = AtSystemScreen(ServerConfig(kTestModel, "UpsDevice=USB\n"));
  ASSERT_TRUE(console->Keys({"Down", "Down"}));
  ASSERT_TRUE(console->Type("Rack 4"));
  ASSERT_TRUE(console->ShowsValue(kLocationLabel, "Rack 4"));
  ASSERT_TRUE(console->term().Resize(100, 30));
  ASSERT_TRUE(console->Shows("SYSTEM CONFIGURATION"));
  ASSERT_TRUE(console->ShowsValue(kLocationLabel, "Rack 4"));
  ASSERT_TRUE(console->Type(" B"));
  ASSERT_TRUE(console->Keys({"Enter", "Escape"}));
  ASSERT_TRUE(console->Shows("Events Configuration"));
  ASSERT_TRUE(console->SaveAndExit());
  EXPECT_EQ("Rack 4 B", console->Saved("SrvLocation"));
}

TEST(ConsoleText, LongErrorTextWrappedInsideItsBox) {
  // The error shown when the device is left empty, made 3,600 characters long.
  std::string error;
  for (int i = 0; error.size() < 3600; ++i) error += "long" + std::to_string(i % 10) + "xyz ";
  TConsoleSession console(ServerConfig(kTestModel));
  ASSERT_EQ(WriteIniString("ERRORS", "100008", error, console.tree().Path("languages/english.lng")),
            0);
  console.term().UseUtf8();
  ASSERT_TRUE(console.Start("", 80, 24, kUtf8));
  ASSERT_TRUE(console.Shows("Wattkeep Configuration"));
  ASSERT_TRUE(console.Open("System Configuration", "SYSTEM CONFIGURATION"));
  ASSERT_TRUE(console.Keys({"Escape"}));
  ASSERT_TRUE(console.Shows("Press any key to continue"));
  // The 60-column box at 80x24: columns 10 to 70, its message on the four
  // rows above the key hint; nothing of it anywhere else.
  const std::string screen = console.Screen();
  const size_t hint = RowOf(screen, "Press any key to continue");
  ASSERT_GE(hint, 4u) << screen;
  std::string shown;
  ASSERT_TRUE(BoxedText(screen, hint - 4, 4, 9, 69, &shown));
  EXPECT_EQ(0u, error.find(shown + " ")) << screen;
  TTextList rows = SplitLines(screen);
  int rows_with_text = 0;
  for (const std::string& row : rows) rows_with_text += row.find("xyz") != std::string::npos;
  EXPECT_EQ(4, rows_with_text) << screen;
  ASSERT_TRUE(console.Keys({"Space"}));
  ASSERT_TRUE(console.Hides("Press any key to continue"));
  ASSERT_TRUE(console.ShowsValue("Device for communications:", ""));
}

TEST(ConsoleText, ModelChangeQuestionWrappedInsideItsBox) {
  // At 80x24 the box spans columns 5 to 75; at 100x30 columns 5 to 95.
  const struct {
    int columns, lines;
    size_t left, right;
  } sizes[] = {{80, 24, 4, 74}, {100, 30, 4, 94}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(size.columns);
    auto console = AtSystemScreen(ServerConfig("Quillon 650"), size.columns, size.lines);
    ASSERT_TRUE(console->Keys({"Enter", "Down", "Down", "Enter"}));
    ASSERT_TRUE(console->Shows("[Y] Confirm      [N] Cancel"));
    const std::string screen = console->Screen();
    const size_t first = RowOf(screen, "If you continue");
    std::string shown;
    ASSERT_TRUE(BoxedText(screen, first, 4, size.left, size.right, &shown));
    EXPECT_EQ(kModelQuestion, shown) << screen;
    ASSERT_TRUE(console->Keys({"n"}));
    ASSERT_TRUE(console->ShowsValue("UPS model name:", "Quillon 650"));
  }
}

TEST(ConsoleText, LongMasterNameCutOnItsRowOnly) {
  const std::string name = std::string(84, 'm') + ".example";  // 92 characters
  TConsoleSession qs([&name](const TConsoleTree& tree) {
    return SlaveConfig(tree, "AdrCount=2\nAdr0=127.0.0.1\nAdr1=" + name + "\n");
  });
  ASSERT_TRUE(qs.Start());
  ASSERT_TRUE(qs.Shows("Scripts Configuration"));
  ASSERT_TRUE(qs.Keys({"Down", "Enter"}));
  ASSERT_TRUE(qs.Shows("2. mmmm"));
  // The window spans columns 3 to 78 at 80x25: the name ends inside it and
  // nothing of it reaches another row.
  const std::string screen = qs.Screen();
  const TTextList rows = SplitLines(screen);
  const size_t row = RowOf(screen, "2. mmmm");
  ASSERT_LT(row, rows.size());
  EXPECT_LE(rows[row].find_last_not_of(' '), 76u) << screen;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i == row) continue;
    EXPECT_EQ(rows[i].find("mmm"), std::string::npos) << screen;
  }
  // Save and Exit keeps the whole name.
  ASSERT_TRUE(qs.Keys({"Escape"}));
  ASSERT_TRUE(qs.Shows("Scripts Configuration"));
  ASSERT_TRUE(qs.Keys({"Down", "Down", "Down", "Down", "Down", "Enter"}));
  ASSERT_TRUE(qs.Shows("status=0"));
  EXPECT_NE(qs.Config().find("Adr1=" + name + "\n"), std::string::npos) << qs.Config();
}

#include "tui/menu.h"

#include <gtest/gtest.h>

#include "tui/console_ui.h"
#include "tui/crt.h"
#include "tui/fake_terminal.h"

namespace {

int g_opened = 0;
int g_refused = 0;

void CountOpen() {
  ++g_opened;
}
bool Refuse() {
  ++g_refused;
  return false;
}
bool Never() {
  return false;
}

const TMenu kMenu = {"T",
                     {
                         {"Open", CountOpen, nullptr, nullptr},
                         {"Hidden", CountOpen, AlwaysLeaves, Never},
                         {"", nullptr, nullptr, nullptr},
                         {"Stay", nullptr, Refuse, nullptr},
                         {"Leave", nullptr, AlwaysLeaves, nullptr},
                     }};

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTerminal(&term_);
    ComputeFrame();
    g_opened = 0;
    g_refused = 0;
  }
  TFakeTerminal term_{80, 25};
};

}  // namespace

TEST(MenuTable, OnlyShownEntriesAreListedAndChosen) {
  EXPECT_EQ(MenuTexts(kMenu), (TTextList{"Open", "", "Stay", "Leave"}));
  struct {
    int choice;
    const char* text;  // nullptr: no entry
  } cases[] = {
      {1, "Open"},  {2, nullptr}, {3, "Stay"},   {4, "Leave"},
      {0, nullptr}, {5, nullptr}, {-1, nullptr},
  };
  for (const auto& c : cases) {
    const TMenuEntry* entry = ChosenEntry(kMenu, c.choice);
    if (c.text == nullptr) {
      EXPECT_EQ(entry, nullptr) << c.choice;
    } else {
      ASSERT_NE(entry, nullptr) << c.choice;
      EXPECT_STREQ(entry->text, c.text);
    }
  }
}

TEST_F(MenuTest, RunsEachChoiceUntilAnEntryLeaves) {
  term_.AddKeys({kKeyEnter, kKeyDown, kKeyEnter, kKeyUp, kKeyEnter});
  RunMenu(kMenu);
  EXPECT_EQ(g_opened, 1);
  EXPECT_EQ(g_refused, 1);  // "Stay" kept the menu open
  EXPECT_EQ(term_.keys_left(), 0);
  EXPECT_TRUE(term_.Shows("Leave"));
}

TEST_F(MenuTest, EndsWhenTheProgramMust) {
  // An empty script answers kKeyQuit at once.
  RunMenu(kMenu);
  EXPECT_EQ(g_opened, 0);
  EXPECT_EQ(g_refused, 0);
}

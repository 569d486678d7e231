// What the screens' tests share: the console's state set up as the program
// sets it (a record, a small model database, default events, a language file
// with the texts the screens show), the fake terminal at 80x25 and helpers
// to read what a screen drew.
#ifndef VOLTMON_WKCFG_UI_SCREEN_TEST_TREE_H_
#define VOLTMON_WKCFG_UI_SCREEN_TEST_TREE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tui/console_ui.h"
#include "tui/crt.h"
#include "tui/fake_terminal.h"
#include "wkcfg/model/console_state.h"
#include "wkcfg/model/model_test_tree.h"

// The facts of a test model; the line built from them has all 41 fields.
struct TTestModel {
  std::string name;
  int off_mode, off_min, off_max;
  int on_mode, on_min, on_max, on_step;
  bool smart, calibration;
  std::string capabilities;  // fields 29-40, "1" or "0" each
};

inline std::string ModelLine(const TTestModel& m) {
  std::vector<std::string> f(41, "0");
  f[0] = m.name;
  f[4] = "3";
  f[14] = "2";  // recharge hours
  f[16] = std::to_string(m.off_mode);
  f[17] = std::to_string(m.off_min);
  f[18] = std::to_string(m.off_max);
  f[19] = std::to_string(m.on_mode);
  f[20] = std::to_string(m.on_min);
  f[21] = std::to_string(m.on_max);
  f[22] = std::to_string(m.on_step);
  f[23] = m.smart ? "1" : "0";
  f[24] = m.calibration ? "1" : "0";
  f[26] = "FAM_" + m.name;
  for (size_t i = 0; i < m.capabilities.size() && 29 + i < f.size(); ++i) {
    f[29 + i] = std::string(1, m.capabilities[i]);
  }
  std::string line = f[0];
  for (size_t i = 1; i < f.size(); ++i) line += "|" + f[i];
  return line;
}

// Smart autonomy, user's switch-off, restart tied to it, free entry.
const TTestModel kAlpha{"Alpha", 1, 60, 3600, 3, 10, 900, 1, true, true, "111111111111"};
// Fixed autonomy, restart delays in steps of 30 s, few measures.
const TTestModel kBeta{"Beta", 1, 0, 600, 1, 30, 300, 30, false, false, "010000000100"};
// Switch-off and restart always on.
const TTestModel kGamma{"Gamma", 2, 0, 600, 2, 0, 300, 1, false, false, "111111111111"};

class ScreenTest : public ::testing::Test {
 protected:
  ScreenTest() {
    tree_.Write("languages/english.lng",
                "[WKCFG]\nNoUpsSelected=None\n[ERRORS]\n100007=Model unreadable\n"
                "100008=Value missing\n[ACTIONS]\nCount=0\n");
    tree_.WriteDatabase({ModelLine(kAlpha), ModelLine(kBeta), ModelLine(kGamma)});
    tree_.Write("bin/defevent.evn",
                "[COMMON]\nEvCounter=1\nEv0=0|$LOG\n[FAM_Beta]\nEvCounter=1\nEv0=2|$SHUTDOWN\n");
    UseTerminal(&term_);
    SetResizeCallback(ComputeFrame);
    InitConsoleUi();
    TConsoleState& state = ConsoleState();
    state = TConsoleState();
    state.setup.InstallPath = tree_.Root();
    state.NoUpsSelectedText = "None";
    state.setup.Ups.UpsModelName = "None";
    EXPECT_EQ(LoadUpsDatabase(&state.database, UpsDatabasePath(state)), 0);
  }
  ~ScreenTest() override {
    ConsoleState() = TConsoleState();
    UseTerminal(nullptr);
  }

  // The model as the start-up selection leaves it (stored data kept).
  void Select(const TTestModel& model) {
    ConsoleState().setup.Ups.UpsModelName = model.name;
    ASSERT_EQ(SelectStoredModel(&ConsoleState()), 0);
  }
  TSetupData& Record() { return ConsoleState().setup; }

  void Keys(const std::vector<int>& keys) { term_.AddKeys(keys); }
  // Typed text and ENTER.
  void Enter(const std::string& text) {
    term_.AddText(text);
    term_.AddKeys({kKeyEnter});
  }
  // A list choice: the pop-up opened, `downs` entries down, chosen.
  void Choose(int downs) {
    term_.AddKeys({kKeyEnter});
    for (int i = 0; i < downs; ++i) term_.AddKeys({kKeyDown});
    term_.AddKeys({kKeyEnter});
  }

  // Line `line` (1-based) of the frame window (76 x 23 from column 3, row 2)
  // as shown at 80x25.
  std::string FrameLine(int line) const { return term_.ScreenRow(1 + line).substr(2, 76); }
  // Attribute of column `column`, line `line` of the frame window.
  uint8_t FrameAttr(int column, int line) const { return term_.AttrAt(2 + column, 1 + line); }
  // How many writes held `text` (error boxes, notices).
  int Wrote(const std::string& text) const {
    int count = 0;
    for (const auto& write : term_.writes()) count += write.text.find(text) != std::string::npos;
    return count;
  }

  TModelTestTree tree_;
  TFakeTerminal term_{80, 25};
};

// Attribute byte of a colour pair as the screen layer writes it.
inline uint8_t AttrOf(int foreground, int background) {
  return static_cast<uint8_t>((foreground & 0x0f) | ((background & 7) << 4));
}

#endif  // VOLTMON_WKCFG_UI_SCREEN_TEST_TREE_H_

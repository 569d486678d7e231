#include "wkcfg/ui/console_flow.h"

#include <gtest/gtest.h>

#include <map>

#include "common/lang.h"
#include "common/scramble.h"
#include "tests/support/temp_dir.h"
#include "wkcfg/ui/screens.h"

namespace {

// The console's state with or without a selected model (and its
// calibration test), put back as it was at the end of the test.
class MenuState {
 public:
  MenuState(bool model_selected, bool calibration_test) : saved_(ConsoleState()) {
    ConsoleState().NoUpsSelectedText = "No UPS";
    ConsoleState().setup.Ups.UpsModelName = model_selected ? "Tester" : "No UPS";
    ConsoleState().database.CalibrationTest = calibration_test;
  }
  ~MenuState() { ConsoleState() = saved_; }

 private:
  TConsoleState saved_;
};

// A model line of 41 fields, every one "0" but the name, the event section
// and the overrides.
std::string ModelLine(const std::string& name, const std::map<int, std::string>& fields = {}) {
  std::map<int, std::string> all = {{0, name}, {26, "FAMILY"}};
  for (const auto& [n, text] : fields) all[n] = text;
  std::string line;
  for (int n = 0; n < 41; ++n) line += (n > 0 ? "|" : "") + (all.count(n) ? all[n] : "0");
  return line;
}

// An installation tree with the console's files, each left out or replaced
// on request, and a "/proc" of its own.
class StartTree {
 public:
  StartTree() : dir_("wkflow") {
    MakeDirs(dir_.Sub("bin"));
    MakeDirs(dir_.Sub("languages"));
    MakeDirs(dir_.Sub("proc/self"));
  }
  ~StartTree() { SetLanguageFilePath(""); }

  std::string Root() const { return dir_.path() + "/"; }
  void Write(const std::string& relative, const std::string& text) const {
    WriteFile(Root() + relative, text);
  }
  void WriteSuiteSettings(const std::string& language) const {
    Write("bin/voltmon.cfg",
          "[Globals]\nInstallPath=" + Root() + "\nLanguageFile=" + language + "\n");
  }
  void WriteDatabase(const TTextList& lines) const {
    std::string text;
    for (const std::string& line : lines) text += Scramble(line) + "\n";
    Write("bin/upsdb.ups", text);
  }
  // A complete tree naming `model` in its configuration.
  void WriteAll(const std::string& model) const {
    WriteSuiteSettings("test.lng");
    Write("languages/test.lng", "[WKCFG]\nNoUpsSelected=No UPS\n");
    WriteDatabase({ModelLine("Small"), ModelLine("Tester", {{24, "1"}}), "Broken|1|2"});
    Write("bin/wksrv.cfg", "[Wattkeep]\nUpsModelName=" + model + "\n");
  }
  void AddProcess(int pid, const std::string& name, int parent, int uid = 0) const {
    const std::string dir = "proc/" + std::to_string(pid);
    MakeDirs(Root() + dir);
    Write(dir + "/status", "Name:\t" + name + "\nPid:\t" + std::to_string(pid) + "\nPPid:\t" +
                               std::to_string(parent) + "\nUid:\t" + std::to_string(uid) +
                               "\t0\t0\t0\n");
  }
  TStartup Load(TConsoleState* state) const {
    return LoadConsole(Root() + "bin/", state, Root() + "proc");
  }

 private:
  TTempDir dir_;
};

}  // namespace

TEST(MainMenu, TheTitleAndWhatEachChoiceOpensWithAndWithoutAModel) {
  EXPECT_EQ(MainMenuTitle(), "Voltmon Manager - Wattkeep Configuration [Version 1.0.16.0]");
  EXPECT_EQ(MainMenuTable().title, MainMenuTitle());
  struct {
    bool model_selected;
    int choice;
    void (*open)();
    bool (*leaves)();
  } rows[] = {
      {false, 1, SystemConfigScreen, nullptr},
      {false, 3, nullptr, AlwaysLeaves},  // Exit is third without a model
      {true, 1, SystemConfigScreen, nullptr},
      {true, 2, ShutdownConfigScreen, nullptr},
      {true, 3, LogDataConfigScreen, nullptr},
      {true, 4, MailServerConfigScreen, nullptr},
      {true, 5, EventsScreen, nullptr},
      {true, 6, AdvancedMenu, nullptr},
      {true, 8, nullptr, SaveConsoleAndNotify},
      {true, 9, nullptr, AlwaysLeaves},
  };
  for (const auto& row : rows) {
    MenuState state(row.model_selected, false);
    const TMenuEntry* entry = ChosenEntry(MainMenuTable(), row.choice);
    ASSERT_NE(entry, nullptr) << row.model_selected << " " << row.choice;
    EXPECT_EQ(entry->open, row.open) << entry->text;
    EXPECT_EQ(entry->leaves, row.leaves) << entry->text;
  }
  {
    MenuState state(false, false);
    EXPECT_EQ(MenuTexts(MainMenuTable()).size(), 3u);
    EXPECT_EQ(ChosenEntry(MainMenuTable(), 2), nullptr);  // the separator
  }
  MenuState state(true, false);
  EXPECT_EQ(MenuTexts(MainMenuTable()).size(), MainMenuTable().entries.size());
  // What MenuBox returns besides a choice never acts.
  for (int none : {7, 0, 10, -2, 410}) EXPECT_EQ(ChosenEntry(MainMenuTable(), none), nullptr);
}

TEST(AdvancedMenu, TheCalibrationEntryOnlyWhenTheModelHasTheTest) {
  struct {
    bool calibration_test;
    int choice;
    void (*open)();
    bool (*leaves)();
  } rows[] = {
      {false, 1, AdvancedSystemScreen, nullptr},   {false, 2, AdvancedShutdownScreen, nullptr},
      {false, 3, AdvancedQsSystemScreen, nullptr}, {false, 5, nullptr, AlwaysLeaves},
      {true, 4, CalibrationTestScreen, nullptr},   {true, 6, nullptr, AlwaysLeaves},
  };
  for (const auto& row : rows) {
    MenuState state(true, row.calibration_test);
    const TMenuEntry* entry = ChosenEntry(AdvancedMenuTable(), row.choice);
    ASSERT_NE(entry, nullptr) << row.calibration_test << " " << row.choice;
    EXPECT_EQ(entry->open, row.open) << entry->text;
    EXPECT_EQ(entry->leaves, row.leaves) << entry->text;
  }
  MenuState without(true, false);
  EXPECT_EQ(ChosenEntry(AdvancedMenuTable(), 4), nullptr);  // the separator
  EXPECT_EQ(ChosenEntry(AdvancedMenuTable(), 6), nullptr);
}

TEST(LoadConsole, EachMissingPieceIsAnInvalidSetup) {
  struct {
    const char* missing;
    TStartup result;
  } cases[] = {
      {"bin/voltmon.cfg", TStartup::kInvalidSetup},
      {"languages/test.lng", TStartup::kInvalidSetup},
      {"bin/upsdb.ups", TStartup::kInvalidSetup},
      // A missing configuration gives the defaults: no model.
      {"bin/wksrv.cfg", TStartup::kReady},
  };
  for (const auto& c : cases) {
    StartTree tree;
    tree.WriteAll("Small");
    ASSERT_TRUE(RemoveTree(tree.Root() + c.missing));
    TConsoleState state;
    EXPECT_EQ(tree.Load(&state), c.result) << c.missing;
  }
}

TEST(LoadConsole, TheStoredModelIsSelectedWithoutReset) {
  struct {
    const char* model;
    TStartup result;
    bool selected, calibration;
  } cases[] = {
      {"Small", TStartup::kReady, true, false},
      {"Tester", TStartup::kReady, true, true},
      {"Not there", TStartup::kReady, false, false},
      {"Broken", TStartup::kBadModel, false, false},
  };
  for (const auto& c : cases) {
    StartTree tree;
    tree.WriteAll(c.model);
    TConsoleState state;
    ASSERT_EQ(tree.Load(&state), c.result) << c.model;
    if (c.result != TStartup::kReady) continue;
    EXPECT_EQ(state.NoUpsSelectedText, "No UPS");
    EXPECT_EQ(state.setup.InstallPath, tree.Root());
    EXPECT_EQ(state.setup.LanguageFile, tree.Root() + "languages/test.lng");
    EXPECT_EQ(LanguageFilePath(), state.setup.LanguageFile);
    EXPECT_EQ(ModelSelected(state), c.selected) << c.model;
    EXPECT_EQ(state.database.CalibrationTest, c.calibration) << c.model;
    EXPECT_FALSE(state.AutonomyReset);
  }
}

TEST(LoadConsole, TheServerCountsAsActiveOnlyAsADetachedWksrv) {
  struct {
    const char* name;
    int parent;
    int uid;
    bool active;
  } cases[] = {
      {"wksrv", 1, 0, true},
      {"wksrv", 300, 0, false},
      {"wksrvx", 1, 0, false},
      {"qslx", 1, 0, false},
      // An ordinary user's process of that name is not the server.
      {"wksrv", 1, 65534, false},
  };
  for (const auto& c : cases) {
    StartTree tree;
    tree.WriteAll("Small");
    tree.AddProcess(42, c.name, c.parent, c.uid);
    TConsoleState state;
    ASSERT_EQ(tree.Load(&state), TStartup::kReady);
    EXPECT_EQ(state.ServerActive, c.active) << c.name << " " << c.parent << " " << c.uid;
  }
}

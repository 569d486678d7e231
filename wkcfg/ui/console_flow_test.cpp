#include "wkcfg/ui/console_flow.h"

#include <gtest/gtest.h>

#include <map>

#include "common/lang.h"
#include "common/scramble.h"
#include "tests/support/temp_dir.h"

namespace {

const TextList kNineEntries = {"System Configuration",
                               "Shutdown Configuration",
                               "Log & Data Configuration",
                               "Mail Server Configuration",
                               "Events Configuration",
                               "Advanced Configuration",
                               "",
                               "Save and Exit",
                               "Exit"};

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
  void WriteDatabase(const TextList& lines) const {
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
  TempDir dir_;
};

}  // namespace

TEST(MainMenu, TitleAndTheEntriesWithAndWithoutAModel) {
  EXPECT_EQ(MainMenuTitle(), "Voltmon Manager - Wattkeep Configuration [Version 1.0.16.0]");
  EXPECT_EQ(MainMenuEntries(false), (TextList{"System Configuration", "", "Exit"}));
  EXPECT_EQ(MainMenuEntries(true), kNineEntries);
}

TEST(AdvancedMenu, TheCalibrationEntryOnlyWhenTheModelHasTheTest) {
  const TextList without = {"Advanced System Configuration", "Advanced Shutdown Configuration",
                            "Advanced QS System Configuration", "", "Return to Main Menu"};
  EXPECT_EQ(AdvancedMenuEntries(false), without);
  TextList with = without;
  with.insert(with.begin() + 3, "Autonomy Calibration Test Configuration");
  EXPECT_EQ(AdvancedMenuEntries(true), with);
}

TEST(MenuAction, EachChoiceOfEveryListOpensItsScreen) {
  struct {
    TextList entries;
    int choice;
    TMenuAction action;
  } cases[] = {
      {MainMenuEntries(false), 1, TMenuAction::kSystem},
      {MainMenuEntries(false), 2, TMenuAction::kNone},  // the separator
      {MainMenuEntries(false), 3, TMenuAction::kExit},  // Exit is third here
      {kNineEntries, 1, TMenuAction::kSystem},
      {kNineEntries, 2, TMenuAction::kShutdown},
      {kNineEntries, 3, TMenuAction::kLogData},
      {kNineEntries, 4, TMenuAction::kMailServer},
      {kNineEntries, 5, TMenuAction::kEvents},
      {kNineEntries, 6, TMenuAction::kAdvanced},
      {kNineEntries, 7, TMenuAction::kNone},
      {kNineEntries, 8, TMenuAction::kSaveAndExit},
      {kNineEntries, 9, TMenuAction::kExit},
      {AdvancedMenuEntries(false), 1, TMenuAction::kAdvancedSystem},
      {AdvancedMenuEntries(false), 2, TMenuAction::kAdvancedShutdown},
      {AdvancedMenuEntries(false), 3, TMenuAction::kAdvancedQsSystem},
      {AdvancedMenuEntries(false), 4, TMenuAction::kNone},
      {AdvancedMenuEntries(false), 5, TMenuAction::kReturnToMain},
      {AdvancedMenuEntries(true), 4, TMenuAction::kCalibrationTest},
      {AdvancedMenuEntries(true), 6, TMenuAction::kReturnToMain},
      // What MenuBox returns besides a choice never acts.
      {kNineEntries, 0, TMenuAction::kNone},
      {kNineEntries, 10, TMenuAction::kNone},
      {kNineEntries, -2, TMenuAction::kNone},
      {kNineEntries, 410, TMenuAction::kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MenuAction(c.entries, c.choice), c.action)
        << c.entries.size() << " entries, choice " << c.choice;
  }
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
    EXPECT_EQ(state.Setup.InstallPath, tree.Root());
    EXPECT_EQ(state.Setup.LanguageFile, tree.Root() + "languages/test.lng");
    EXPECT_EQ(LanguageFilePath(), state.Setup.LanguageFile);
    EXPECT_EQ(ModelSelected(state), c.selected) << c.model;
    EXPECT_EQ(state.Database.CalibrationTest, c.calibration) << c.model;
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

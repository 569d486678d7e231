#include "qscfg/flow.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "qscfg/test_probes.h"
#include "qslx/setup.h"
#include "tests/support/test_tree.h"

namespace {

class QsFlowTest : public ::testing::Test {
 protected:
  QsFlowTest() { tree.Write("languages/english.lng", "[QSCFG]\nRestart=restart\n"); }
  bool Load(const std::string& config) {
    tree.Write("bin/qslx.cfg", config);
    return LoadQsEditor(tree.Path("bin/"), &editor);
  }
  TTestTree tree;
  TQsEditor editor;
};

TEST(QsFlow, EachMenuChoiceOpensItsScreenOrLeaves) {
  struct {
    int choice;
    void (*open)();
    bool (*leaves)();
  } rows[] = {
      {1, ListenPortScreen, nullptr}, {2, MastersScreen, nullptr}, {3, EventLogScreen, nullptr},
      {4, AliveCheckScreen, nullptr}, {5, ScriptsScreen, nullptr}, {7, nullptr, SaveQsAndNotify},
      {8, nullptr, AlwaysLeaves},
  };
  for (const auto& row : rows) {
    const TMenuEntry* entry = ChosenEntry(QsMenuTable(), row.choice);
    ASSERT_NE(entry, nullptr) << row.choice;
    EXPECT_EQ(entry->open, row.open) << entry->text;
    EXPECT_EQ(entry->leaves, row.leaves) << entry->text;
  }
  // Every entry is always listed; the separator and what MenuBox returns
  // besides a choice do nothing.
  EXPECT_EQ(MenuTexts(QsMenuTable()).size(), QsMenuTable().entries.size());
  for (int none : {6, 0, 9, -1}) EXPECT_EQ(ChosenEntry(QsMenuTable(), none), nullptr) << none;
}

TEST_F(QsFlowTest, LoadNeedsTheSuiteSettingsAndLanguage) {
  EXPECT_TRUE(Load("[QS System]\nListenPort=6009\n"));
  EXPECT_EQ(6009, QsNumber(editor.config, "ListenPort"));
  EXPECT_TRUE(Load(""));
  tree.Write("bin/voltmon.cfg", "[Globals]\nInstallPath=" + tree.root() + "\nLanguageFile=x.lng\n");
  EXPECT_FALSE(Load(""));
}

TEST_F(QsFlowTest, SaveKeepsModeAndUnknownKeysAndReadsBackInTheDaemon) {
  ASSERT_TRUE(Load("[QS System]\nCustomKey=1\nAdrCount=1\nAdr0=\n[Else]\na=b\n"));
  ASSERT_EQ(0, chmod(tree.Path("bin/qslx.cfg").c_str(), 0640));
  editor.config.masters = {"10.0.0.7"};
  editor.config.numbers["ListenPort"] = 6123;
  editor.config.scripts["ScriptShutdown"] = "/s";
  editor.config.scripts["ScriptMessage"] = "/m";
  ASSERT_EQ(0, SaveQsEditor(&editor));
  struct stat st;
  ASSERT_EQ(0, stat(tree.Path("bin/qslx.cfg").c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
  const std::string saved = tree.Read("bin/qslx.cfg");
  EXPECT_NE(std::string::npos, saved.find("CustomKey=1\n"));
  EXPECT_NE(std::string::npos, saved.find("[Else]\na=b\n"));
  TQsSetupData setup;
  ASSERT_TRUE(LoadQsSetup(tree.Path("bin/"), &setup));
  EXPECT_EQ((TTextList{"10.0.0.7"}), setup.Addresses);
  EXPECT_EQ(6123, setup.ListenPort);
}

TEST_F(QsFlowTest, FailedSaveGivesTheErrorAndLeavesTheFile) {
  ASSERT_TRUE(Load("[QS System]\nListenPort=1\n"));
  editor.path = tree.Path("missing/qslx.cfg");
  EXPECT_EQ(ENOENT, SaveQsEditor(&editor));
  EXPECT_EQ("[QS System]\nListenPort=1\n", tree.Read("bin/qslx.cfg"));
}

TEST_F(QsFlowTest, CheckExitsByTheFindings) {
  const struct {
    std::string config;
    int status;
  } cases[] = {
      {"[QS System]\nAdrCount=1\nAdr0=10.0.0.1\nListenPort=6005\nScriptShutdown=/s\n"
       "ScriptMessage=/m\n",
       0},
      {"[QS System]\nAdrCount=1\nAdr0=10.0.0.1\nListenPort=0\nScriptShutdown=/s\n"
       "ScriptMessage=/m\n",
       1},
      {"", 1},
  };
  for (const auto& c : cases) {
    tree.Write("bin/qslx.cfg", c.config);
    EXPECT_EQ(c.status, CheckQsFile(tree.Path("bin/qslx.cfg"), FakeProbes())) << c.config;
  }
  EXPECT_EQ(1, CheckQsFile(tree.Path("bin/none.cfg"), FakeProbes()));
}

}  // namespace

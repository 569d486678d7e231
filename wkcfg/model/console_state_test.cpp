#include "wkcfg/model/console_state.h"

#include <sys/stat.h>
#include <unistd.h>

#include "common/ini.h"
#include "gtest/gtest.h"
#include "wkcfg/model/model_test_tree.h"

namespace {

const char kModelA[] =
    "Model A|0|0|0|4|0|0|0|0|0|0|0|0|0|8|0|1|60|600|1|10|600|1|1|1|0|FAM_A|0|0|"
    "1|0|0|1|0|0|1|0|0|1|1|1";
const char kModelB[] =
    " Model B |0|0|0|5|0|0|0|0|0|0|0|0|0|2|0|0|0|0|0|0|0|1|0|0|0|FAM_B|0|0|"
    "0|0|0|0|0|0|0|0|0|0|0|0";

class Console : public ::testing::Test {
 protected:
  Console() {
    tree.WriteDatabase({kModelA, kModelB, "Broken|1|2"});
    tree.Write("bin/defevent.evn",
               "[COMMON]\nEvCounter=1\nEv0=0|$LOG\n[FAM_A]\nEvCounter=2\nEv0=2|$SHUTDOWN\n"
               "Ev1=9|$LOG\n");
    state.setup.InstallPath = tree.Root();
    state.NoUpsSelectedText = "None";
    EXPECT_EQ(LoadUpsDatabase(&state.database, UpsDatabasePath(state)), 0);
    state.setup.Ups.Events.AddEventLine("7|$POPUP,*");
    state.setup.Ups.UpsAutonomyTime = 1000;
  }
  std::string Events() const {
    std::string lines;
    for (int i = 0; i < state.setup.Ups.Events.Count(); ++i) {
      lines += state.setup.Ups.Events.EventLine(i) + ";";
    }
    return lines;
  }
  TModelTestTree tree;
  TConsoleState state;
};

TEST_F(Console, NewSelectionBringsDefaultEventsAndResetsAutonomy) {
  ASSERT_EQ(ChangeModel(&state, "Model A"), 0);
  EXPECT_EQ(Events(), "0|$LOG;2|$SHUTDOWN;9|$LOG;");
  EXPECT_EQ(state.setup.Ups.UpsAutonomyTime, 300);
  EXPECT_EQ(state.setup.Ups.UpsRechargeTime, 28800);
  EXPECT_TRUE(state.setup.Ups.UpsSmartAutonomy);
  EXPECT_TRUE(state.AutonomyReset);
  EXPECT_TRUE(ModelSelected(state));
  // A section missing from the default file gives only the common events.
  ASSERT_EQ(ChangeModel(&state, "Model B"), 0);
  EXPECT_EQ(Events(), "0|$LOG;");
  EXPECT_EQ(state.setup.Ups.UpsModelName, "Model B");
  EXPECT_FALSE(state.setup.LogData.DataReadVbatt);
}

TEST_F(Console, StartSelectionKeepsTheStoredData) {
  state.setup.Ups.UpsModelName = "Model A";
  state.setup.Ups.UpsRechargeTime = 77;
  ASSERT_EQ(SelectStoredModel(&state), 0);
  EXPECT_EQ(Events(), "7|$POPUP,*;");
  EXPECT_EQ(state.setup.Ups.UpsAutonomyTime, 1000);
  EXPECT_EQ(state.setup.Ups.UpsRechargeTime, 77);
  EXPECT_FALSE(state.setup.Ups.UpsSmartAutonomy);
  EXPECT_EQ(state.setup.Ups.Protocol.ProtocolId, 4);
  EXPECT_FALSE(state.AutonomyReset);
  ResetEventsToDefault(&state);
  EXPECT_EQ(Events(), "0|$LOG;2|$SHUTDOWN;9|$LOG;");
  EXPECT_EQ(state.setup.Ups.UpsAutonomyTime, 1000);
}

TEST_F(Console, UnknownOrBrokenModels) {
  state.setup.Ups.UpsModelName = "Gone";
  ASSERT_EQ(SelectStoredModel(&state), 0);
  EXPECT_EQ(state.setup.Ups.UpsModelName, "None");
  EXPECT_FALSE(ModelSelected(state));
  EXPECT_EQ(Events(), "7|$POPUP,*;");
  ASSERT_EQ(ChangeModel(&state, "Model A"), 0);
  EXPECT_EQ(ChangeModel(&state, "Broken"), kErrorBadModel);
  EXPECT_EQ(state.setup.Ups.UpsModelName, "Model A");
  EXPECT_EQ(state.setup.Ups.UpsRechargeTime, 28800);
  EXPECT_EQ(state.database.EventSection, "FAM_A");
}

TEST_F(Console, SaveWritesAutonomyUnlessTheRunningServerOwnsIt) {
  struct Case {
    bool active, reset, written;
  };
  for (const Case& c :
       {Case{false, false, true}, Case{true, false, false}, Case{true, true, true}}) {
    tree.Write("bin/wksrv.cfg", "[Wattkeep]\nUpsAutonomyTime=5\n");
    state.ServerActive = c.active;
    state.AutonomyReset = c.reset;
    ASSERT_EQ(SaveConsoleSetup(state), 0);
    EXPECT_EQ(ReadIniInteger("Wattkeep", "UpsAutonomyTime", 0, tree.Path("bin/wksrv.cfg")),
              c.written ? 1000 : 5)
        << c.active << c.reset;
  }
}

TEST(ConsoleStateInstance, IsOneForTheProcess) {
  EXPECT_EQ(&ConsoleState(), &ConsoleState());
  EXPECT_FALSE(ConsoleState().ServerActive);
}

}  // namespace

// Where the events may be saved: a file of any other name, whatever is
// there, but never a link, a directory, a pipe or a settings file of the
// installation, however the name is spelled.
TEST_F(Console, EventsFileRefusals) {
  state.setup.LanguageFile = tree.Path("languages/english.lng");
  tree.Write("bin/wksrv.cfg", "[Wattkeep]\n");
  tree.Write("mine.evn", "0|$LOG\n");
  MakeDirs(tree.Path("dir"));
  ASSERT_EQ(symlink(tree.Path("mine.evn").c_str(), tree.Path("link.evn").c_str()), 0);
  ASSERT_EQ(symlink(tree.Path("bin").c_str(), tree.Path("binlink").c_str()), 0);
  ASSERT_EQ(mkfifo(tree.Path("fifo").c_str(), 0600), 0);
  const char kOwn[] = "A settings file of the installation, never saved over";
  const struct {
    std::string path;
    const char* refusal;
    bool exists;
  } kCases[] = {
      {tree.Path("new.evn"), "", false},
      {tree.Path("mine.evn"), "", true},
      {tree.Path("link.evn"), "A symbolic link, which is not followed", false},
      {tree.Path("dir"), "Is a directory", false},
      {tree.Path("fifo"), "Not a regular file (a pipe, a device or a socket)", false},
      {tree.Path("bin/wksrv.cfg"), kOwn, true},
      {tree.Path("bin/../bin/voltmon.cfg"), kOwn, false},
      {tree.Path("binlink/qslx.cfg"), kOwn, false},
      {tree.Path("bin/upsdb.ups"), kOwn, true},
      {tree.Path("bin/defevent.evn"), kOwn, true},
      {tree.Path("languages/english.lng"), kOwn, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    bool exists = !c.exists;
    EXPECT_EQ(EventsFileRefusal(state, c.path, &exists), c.refusal);
    EXPECT_EQ(exists, c.exists);
  }
  // A relative name counts from the working directory.
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(tree.Path("bin").c_str()), 0);
  bool exists = false;
  EXPECT_EQ(EventsFileRefusal(state, "wksrv.cfg", &exists), kOwn);
  EXPECT_EQ(EventsFileRefusal(state, "other.evn", &exists), "");
  ASSERT_EQ(chdir(here), 0);
}

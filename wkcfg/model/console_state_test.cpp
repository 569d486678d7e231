#include "wkcfg/model/console_state.h"

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
    state.Setup.InstallPath = tree.Root();
    state.NoUpsSelectedText = "None";
    EXPECT_EQ(LoadUpsDatabase(&state.Database, UpsDatabasePath(state)), 0);
    state.Setup.Ups.Events.AddEventLine("7|$POPUP,*");
    state.Setup.Ups.UpsAutonomyTime = 1000;
  }
  std::string Events() const {
    std::string lines;
    for (int i = 0; i < state.Setup.Ups.Events.Count(); ++i) {
      lines += state.Setup.Ups.Events.EventLine(i) + ";";
    }
    return lines;
  }
  ModelTestTree tree;
  TConsoleState state;
};

TEST_F(Console, NewSelectionBringsDefaultEventsAndResetsAutonomy) {
  ASSERT_EQ(ChangeModel(&state, "Model A"), 0);
  EXPECT_EQ(Events(), "0|$LOG;2|$SHUTDOWN;9|$LOG;");
  EXPECT_EQ(state.Setup.Ups.UpsAutonomyTime, 300);
  EXPECT_EQ(state.Setup.Ups.UpsRechargeTime, 28800);
  EXPECT_TRUE(state.Setup.Ups.UpsSmartAutonomy);
  EXPECT_TRUE(state.AutonomyReset);
  EXPECT_TRUE(ModelSelected(state));
  // A section missing from the default file gives only the common events.
  ASSERT_EQ(ChangeModel(&state, "Model B"), 0);
  EXPECT_EQ(Events(), "0|$LOG;");
  EXPECT_EQ(state.Setup.Ups.UpsModelName, "Model B");
  EXPECT_FALSE(state.Setup.LogData.DataReadVbatt);
}

TEST_F(Console, StartSelectionKeepsTheStoredData) {
  state.Setup.Ups.UpsModelName = "Model A";
  state.Setup.Ups.UpsRechargeTime = 77;
  ASSERT_EQ(SelectStoredModel(&state), 0);
  EXPECT_EQ(Events(), "7|$POPUP,*;");
  EXPECT_EQ(state.Setup.Ups.UpsAutonomyTime, 1000);
  EXPECT_EQ(state.Setup.Ups.UpsRechargeTime, 77);
  EXPECT_FALSE(state.Setup.Ups.UpsSmartAutonomy);
  EXPECT_EQ(state.Setup.Ups.Protocol.ProtocolId, 4);
  EXPECT_FALSE(state.AutonomyReset);
  ResetEventsToDefault(&state);
  EXPECT_EQ(Events(), "0|$LOG;2|$SHUTDOWN;9|$LOG;");
  EXPECT_EQ(state.Setup.Ups.UpsAutonomyTime, 1000);
}

TEST_F(Console, UnknownOrBrokenModels) {
  state.Setup.Ups.UpsModelName = "Gone";
  ASSERT_EQ(SelectStoredModel(&state), 0);
  EXPECT_EQ(state.Setup.Ups.UpsModelName, "None");
  EXPECT_FALSE(ModelSelected(state));
  EXPECT_EQ(Events(), "7|$POPUP,*;");
  ASSERT_EQ(ChangeModel(&state, "Model A"), 0);
  EXPECT_EQ(ChangeModel(&state, "Broken"), kErrorBadModel);
  EXPECT_EQ(state.Setup.Ups.UpsModelName, "Model A");
  EXPECT_EQ(state.Setup.Ups.UpsRechargeTime, 28800);
  EXPECT_EQ(state.Database.EventSection, "FAM_A");
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

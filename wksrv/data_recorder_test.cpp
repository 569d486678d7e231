#include "wksrv/data_recorder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "wksrv/master_log.h"
#include "wksrv/wksrv_test_tree.h"

namespace {

using Vars = std::map<std::string, std::string>;

// 07/12/2026 14:05:09 UTC.
const time_t kWhen = 1796652309;

// Flags from a text of 12 "1"/"0", in the fields' order.
TLogDataSetup Flags(const std::string& bits, const std::string& separator = ",") {
  TLogDataSetup data;
  bool TLogDataSetup::*const flags[] = {
      &TLogDataSetup::DataReadVinPhaseR,  &TLogDataSetup::DataReadVoutPhaseR,
      &TLogDataSetup::DataReadPoutPhaseR, &TLogDataSetup::DataReadVinPhaseS,
      &TLogDataSetup::DataReadVoutPhaseS, &TLogDataSetup::DataReadPoutPhaseS,
      &TLogDataSetup::DataReadVinPhaseT,  &TLogDataSetup::DataReadVoutPhaseT,
      &TLogDataSetup::DataReadPoutPhaseT, &TLogDataSetup::DataReadVbatt,
      &TLogDataSetup::DataReadBattChg,    &TLogDataSetup::DataReadAutTime};
  for (size_t i = 0; i < 12; ++i) data.*flags[i] = bits[i] == '1';
  data.DataSeparator = separator;
  return data;
}

const Vars kSinglePhase = {{"input.voltage", "230.1"}, {"output.voltage", "229.8"},
                           {"ups.realpower", "310"},   {"battery.voltage", "27.3"},
                           {"battery.charge", "100"},  {"battery.runtime", "1860"},
                           {"ups.status", "OL"}};

const Vars kThreePhase = {{"input.voltage", "400"},        {"input.L1-N.voltage", "231"},
                          {"input.L2-N.voltage", "232"},   {"input.L3-N.voltage", "233"},
                          {"output.voltage", "399"},       {"output.L1-N.voltage", "221"},
                          {"output.L2-N.voltage", "222"},  {"output.L3-N.voltage", "223"},
                          {"output.realpower", "9000"},    {"output.L1.realpower", "3001"},
                          {"output.L2.realpower", "3002"}, {"output.L3.realpower", "3003"},
                          {"battery.voltage", "432"},      {"battery.charge", "87"},
                          {"battery.runtime", "600"}};

TEST(DataLine, TheSetFlagsInTheirOrderWithMissingValuesEmpty) {
  struct Case {
    std::string flags;
    std::string separator;
    Vars vars;
    std::string values;
  };
  const std::vector<Case> cases = {
      {"111111111111", ",", kSinglePhase, "230.1,229.8,310,,,,,,,27.3,100,1860"},
      {"111111111111", ";", kThreePhase, "231;221;3001;232;222;3002;233;223;3003;432;87;600"},
      {"100000000111", ",", kSinglePhase, "230.1,27.3,100,1860"},
      {"001000000000", ",", {{"output.realpower", "5"}, {"ups.realpower", "6"}}, "5"},
      {"000000000001", ",", kSinglePhase, "1860"},
      // upsd unreachable: the line is written, every value empty.
      {"110000000001", ",", {}, ",,"},
      {"000000000000", ",", kSinglePhase, ""},
      // No separator chosen: the values are still kept apart.
      {"100000000011", "", kSinglePhase, "230.1,100,1860"},
      {"100000000011", "\t", kSinglePhase, "230.1\t100\t1860"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DataValues(Flags(c.flags, c.separator), c.vars), c.values)
        << c.flags << " '" << c.separator << "'";
  }
}

class DataFile : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
    setup_.LogData = Flags("100000000011", ";");
    setup_.LogData.DataRate = 60;
  }
  std::vector<std::string> Lines() const { return LinesOf(ReadFile(path_)); }
  TUpsReading Reading(const Vars& vars) const {
    TUpsReading reading;
    reading.reachable = !vars.empty();
    reading.vars = vars;
    return reading;
  }
  TWksrvTestTree tree_;
  TSetupData setup_ = tree_.Setup();
  std::string path_ = tree_.Path("data/wk_data.txt");
};

TEST_F(DataFile, OneLineAtOnceThenOneEveryDataRateSeconds) {
  TDataRecorder recorder(setup_);
  recorder.Offer(Reading(kSinglePhase), kWhen);
  recorder.Offer(Reading(kSinglePhase), kWhen + 59);
  recorder.Offer(Reading({}), kWhen + 60);
  recorder.Offer(Reading(kSinglePhase), kWhen + 61);
  // A clock set back does not silence the recording for as long.
  recorder.Offer(Reading(kSinglePhase), kWhen - 3600);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"07/12/2026;14:05:09;230.1;100;1860",
                                               "07/12/2026;14:06:09;;;",
                                               "07/12/2026;13:05:09;230.1;100;1860"}));
}

TEST_F(DataFile, NothingWhenDisabledAndAFreshFileAtTheSizeLimit) {
  setup_.LogData.DataEnabled = false;
  TDataRecorder(setup_).Offer(Reading(kSinglePhase), kWhen);
  EXPECT_FALSE(FileExists(path_));

  setup_.LogData.DataEnabled = true;
  setup_.LogData.DataMaxSize = 60;
  TDataRecorder recorder(setup_);
  for (int i = 0; i < 3; ++i) recorder.Offer(Reading(kSinglePhase), kWhen + i * 60);
  // Two lines of 35 bytes reach the limit: the third starts the file anew.
  EXPECT_EQ(Lines(), (std::vector<std::string>{"07/12/2026;14:07:09;230.1;100;1860"}));
}

TEST_F(DataFile, TheMastersLogIsWrittenOnlyWhenEnabledAndRestartsAtItsLimit) {
  const std::string log = tree_.Path("data/wk_log.txt");
  setup_.LogData.LogEnabled = false;
  AppendMasterLog(setup_, "Mains failure");
  EXPECT_FALSE(FileExists(log));
  setup_.LogData.LogEnabled = true;
  setup_.LogData.LogMaxSize = 30;
  AppendMasterLog(setup_, "Mains failure");
  const std::vector<std::string> first = LinesOf(ReadFile(log));
  ASSERT_EQ(first.size(), 1u);
  EXPECT_NE(first[0].find("  Mains failure"), std::string::npos) << first[0];
  AppendMasterLog(setup_, "Battery low");
  const std::vector<std::string> second = LinesOf(ReadFile(log));
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NE(second[0].find("  Battery low"), std::string::npos) << second[0];
}

}  // namespace

// What the master server notices on the real NUT: the shutdown policy's timed
// events, upsd going away during an outage and coming back, and its own
// stop while a job is still waiting on a slave. Events show through $LOG.

#include <algorithm>

#include "common/clock.h"
#include "tests/wksrv/wksrv_fixture.h"

namespace {

using EventsTest = WksrvTest;

TEST_F(EventsTest, EachUpsConditionRaisesItsEventOnceAsItStarts) {
  struct Step {
    const char* variable;
    const char* value;
    int code;  // -1: none expected
  };
  const Step steps[] = {
      {"ups.status", "OL OVER", 3}, {"ups.status", "OL RB", 6},   {"ups.status", "OL BYPASS", 8},
      {"ups.status", "OL", -1},     {"ups.temperature", "50", 7}, {"ups.status", "OB", 0},
      {"ups.status", "OB LB", 2},   {"ups.status", "OL", 1},
  };
  for (const Step& step : steps) {
    if (step.code >= 0) OnEvent(step.code, {"$LOG"});
  }
  // On mains a poll reads the status alone; the temperature comes with the
  // listing of every variable, here every 2 s as the data lines are due.
  SetEntry(&wattkeep_, "DataEnabled", "1");
  SetEntry(&wattkeep_, "DataRate", "2");
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  for (const Step& step : steps) {
    std::string error;
    ASSERT_TRUE(nut_->SetVar(step.variable, step.value, &error)) << error;
    if (step.code < 0) continue;
    EXPECT_TRUE(WaitForEventLogged(step.code))
        << step.variable << "=" << step.value << ": " << ::testing::PrintToString(LogTexts());
  }
  // Each once, whatever polls came between.
  std::vector<std::string> texts = LogTexts();
  for (const Step& step : steps) {
    if (step.code < 0) continue;
    const std::string tag = EventTag(step.code);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), tag), 1)
        << step.code << ": " << ::testing::PrintToString(texts);
  }
}

TEST_F(EventsTest, FixedAutonomyWarnsAtOnceThenEndsAfterTheFixedTime) {
  // The warning time is at least a minute, longer than the fixed time: 11
  // comes with the outage, 9 when the fixed time has run out.
  SetEntry(&wattkeep_, "UpsFixedTime", "3");
  SetEntry(&wattkeep_, "SrvDownWarningTime", "60");
  OnEvent(0, {"$LOG"});
  OnEvent(9, {"$LOG"});
  OnEvent(11, {"$LOG"});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  const int64_t outage = NowMs();
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  ASSERT_TRUE(WaitForEventLogged(11)) << ::testing::PrintToString(LogTexts());
  EXPECT_EQ(LogIndexOf(9), -1) << "the end came with the warning";
  ASSERT_TRUE(WaitForEventLogged(9, 10000)) << ::testing::PrintToString(LogTexts());
  // wksrv counts whole seconds from the poll that saw the outage.
  EXPECT_GE(NowMs() - outage, 1900);
  EXPECT_LT(LogIndexOf(11), LogIndexOf(9));
}

TEST_F(EventsTest, StartedDuringAnOutageRaisesTheFailureAtOnceAndOnlyOnce) {
  OnEvent(0, {"$LOG"});
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_TRUE(WaitForEventLogged(0));
  const std::string tag = EventTag(0);
  auto count = [&] {
    std::vector<std::string> texts = LogTexts();
    return std::count_if(texts.begin(), texts.end(), [&](const std::string& text) {
      return text.find(tag) != std::string::npos;
    });
  };
  // Three more polls of the same outage raise nothing.
  EXPECT_FALSE(WaitUntil([&] { return count() > 1; }, 3000))
      << ::testing::PrintToString(LogTexts());
}

TEST_F(EventsTest, AdvancedAutonomyWarnsAndEndsByTheRuntimeLeft) {
  // 9 at a runtime of two minutes, 11 a minute before that.
  SetEntry(&wattkeep_, "UpsSmartAutonomy", "1");
  SetEntry(&wattkeep_, "SrvDownTime", "120");
  SetEntry(&wattkeep_, "SrvDownWarningTime", "60");
  OnEvent(0, {"$LOG"});
  OnEvent(9, {"$LOG"});
  OnEvent(11, {"$LOG"});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  ASSERT_TRUE(WaitForEventLogged(0));
  std::string error;
  ASSERT_TRUE(nut_->SetVar("battery.runtime", "181", &error)) << error;
  // Two polls at 181 s left: neither yet.
  EXPECT_FALSE(WaitForEventLogged(11, 2500)) << ::testing::PrintToString(LogTexts());
  ASSERT_TRUE(nut_->SetVar("battery.runtime", "170", &error)) << error;
  ASSERT_TRUE(WaitForEventLogged(11)) << ::testing::PrintToString(LogTexts());
  EXPECT_EQ(LogIndexOf(9), -1);
  ASSERT_TRUE(nut_->SetVar("battery.runtime", "110", &error)) << error;
  ASSERT_TRUE(WaitForEventLogged(9)) << ::testing::PrintToString(LogTexts());
  EXPECT_LT(LogIndexOf(11), LogIndexOf(9));
}

TEST_F(EventsTest, PowerBackBeforeTheFixedTimeCancelsTheEnd) {
  SetEntry(&wattkeep_, "UpsFixedTime", "4");
  OnEvent(1, {"$LOG"});
  OnEvent(9, {"$LOG"});
  OnEvent(11, {"$LOG"});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  ASSERT_TRUE(WaitForEventLogged(11));
  ASSERT_NO_FATAL_FAILURE(SetStatus("OL"));
  ASSERT_TRUE(WaitForEventLogged(1));
  // Past the fixed time, counted from the outage, and two polls more.
  EXPECT_FALSE(WaitForEventLogged(9, 6000)) << ::testing::PrintToString(LogTexts());
}

TEST_F(EventsTest, UpsdGoneDuringAnOutageIsLostCommunicationThenBatteryLowThenRestored) {
  OnEvent(0, {"$LOG"});
  OnEvent(2, {"$LOG"});
  OnEvent(4, {"$LOG"});
  OnEvent(5, {"$LOG"});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  ASSERT_TRUE(WaitForEventLogged(0));
  EXPECT_EQ(LogIndexOf(4), -1);
  nut_->StopServer();
  const int64_t stopped = NowMs();
  // Both come with the third poll without upsd, at least two seconds on; the
  // events of one poll run side by side, so their lines may come either way.
  ASSERT_TRUE(WaitForEventLogged(4, 8000)) << ::testing::PrintToString(LogTexts());
  EXPECT_GE(NowMs() - stopped, 1500);
  ASSERT_TRUE(WaitForEventLogged(2, 8000)) << ::testing::PrintToString(LogTexts());
  EXPECT_EQ(LogIndexOf(5), -1);

  std::string error;
  ASSERT_TRUE(nut_->StartServer(&error)) << error;
  ASSERT_TRUE(WaitForEventLogged(5, 8000)) << ::testing::PrintToString(LogTexts());
  EXPECT_LT(LogIndexOf(2), LogIndexOf(5));
  EXPECT_LT(LogIndexOf(4), LogIndexOf(5));
}

TEST_F(EventsTest, StopEndsTheServerWithinAboutASecondWhileAJobWaitsOnASilentSlave) {
  SetEntry(&wattkeep_, "QsTimeoutConnection", "30");
  int silent = StartSilentSlave(6005);
  ASSERT_GE(silent, 0);
  OnEvent(0, {RemoteJob("$R_MSG", 6005)});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  ASSERT_TRUE(WaitUntil([&] { return ConnectionWaiting(silent); }, kReactMs))
      << "the order never reached the silent slave";
  const int64_t asked = NowMs();
  TRunResult stop = RunWksrv({"-s"});
  EXPECT_EQ(stop.exit_code, 0);
  EXPECT_TRUE(WaitUntil([this] { return Servers().empty(); }, 3000 * kSlowdown))
      << "wksrv is still there";
  EXPECT_LT(NowMs() - asked, 2000 * kSlowdown);
}

}  // namespace

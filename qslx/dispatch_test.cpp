#include "qslx/dispatch.h"

#include <set>

#include "gtest/gtest.h"

namespace {

TQsSetupData Scripts() {
  TQsSetupData s;
  s.ScriptShutdown = "/s/shutdown.sh";
  s.ScriptMessage = "/s/message.sh";
  s.ScriptCustom_1 = "/s/custom1.sh";
  s.ScriptCustom_2 = "/s/custom2.sh";
  s.ScriptCustom_3 = "/s/custom3.sh";
  return s;
}

void ExpectUnknown(const std::string& frame, const TQsSetupData& setup) {
  TQsOrder o = DispatchFrame(frame, setup);
  EXPECT_EQ("LogUnknown", o.event_key) << frame;
  EXPECT_EQ("", o.program) << frame;
  EXPECT_EQ("", o.argument) << frame;
  EXPECT_FALSE(o.log_program_first) << frame;
}

TEST(Dispatch, ShutdownRunsItsScriptWithEmptyArgument) {
  for (const char* frame : {"<|1|0|>", "<| 1 | 0 |>", "<|-7|0|extra|>"}) {
    TQsOrder o = DispatchFrame(frame, Scripts());
    EXPECT_EQ("LogShutdown", o.event_key) << frame;
    EXPECT_EQ("/s/shutdown.sh", o.program) << frame;
    EXPECT_EQ("", o.argument) << frame;
    EXPECT_FALSE(o.log_program_first);
  }
}

TEST(Dispatch, MessageTextArrivesQuotedAndCutAtBar) {
  TQsOrder o = DispatchFrame("<|1|1|Hello|>", Scripts());
  EXPECT_EQ("LogMessage", o.event_key);
  EXPECT_EQ("/s/message.sh", o.program);
  EXPECT_EQ("\"Hello\"", o.argument);

  o = DispatchFrame("<|1|1|  Power fails soon  |and more|>", Scripts());
  EXPECT_EQ("\"Power fails soon\"", o.argument);

  o = DispatchFrame("<|1|1|say \"hi\" $HOME;|>", Scripts());
  EXPECT_EQ("\"say \"hi\" $HOME;\"", o.argument);
}

TEST(Dispatch, MessageWithoutTextIsUnknown) {
  ExpectUnknown("<|1|1|>", Scripts());
  ExpectUnknown("<|1|1||>", Scripts());
  ExpectUnknown("<|1|1| \t |>", Scripts());
}

TEST(Dispatch, CustomCommandsAndTheBarePathOfTheSecond) {
  TQsOrder o = DispatchFrame("<|1|2|>", Scripts());
  EXPECT_EQ("LogCustom_1", o.event_key);
  EXPECT_EQ("/s/custom1.sh", o.program);
  EXPECT_FALSE(o.log_program_first);

  o = DispatchFrame("<|1|3|>", Scripts());
  EXPECT_EQ("LogCustom_2", o.event_key);
  EXPECT_EQ("/s/custom2.sh", o.program);
  EXPECT_TRUE(o.log_program_first);

  o = DispatchFrame("<|1|4|>", Scripts());
  EXPECT_EQ("LogCustom_3", o.event_key);
  EXPECT_EQ("/s/custom3.sh", o.program);
  EXPECT_EQ("", o.argument);
}

TEST(Dispatch, EmptyCustomPathKeepsItsEventButRunsNothing) {
  TQsSetupData s = Scripts();
  s.ScriptCustom_1.clear();
  s.ScriptCustom_2.clear();
  TQsOrder o = DispatchFrame("<|1|2|>", s);
  EXPECT_EQ("LogCustom_1", o.event_key);
  EXPECT_EQ("", o.program);
  o = DispatchFrame("<|1|3|>", s);
  EXPECT_EQ("LogCustom_2", o.event_key);
  EXPECT_EQ("", o.program);
  EXPECT_TRUE(o.log_program_first);
}

TEST(Dispatch, MalformedOrUnknownRequestsRunNothing) {
  const TQsSetupData s = Scripts();
  for (const char* frame :
       {"<|x|0|>", "<|1|5|>", "<|1|-1|>", "<1|0>", "<|1|>", "<||0|>", "<|1||>", "<|1|0x1|>",
        "<|1|00 1|>", "<|99999999999|0|>", "", "<|1|0|", "garbage", "3C7C317C307C3E"}) {
    ExpectUnknown(frame, s);
  }
}

// Every row of the table is carried out: its frame starts its own script
// field, logged under its own key.
TEST(Dispatch, EveryOrderOfTheTableRunsItsOwnScript) {
  const TQsSetupData s = Scripts();
  std::set<std::string> programs;
  for (const TOrder& row : kOrders) {
    const TQsOrder o = DispatchFrame(OrderFrame(1, row, "text"), s);
    EXPECT_EQ(row.event_key, o.event_key);
    EXPECT_EQ(QsOrderScript(s, row), o.program);
    EXPECT_EQ(row.carries_text ? "\"text\"" : "", o.argument);
    EXPECT_EQ(row.logs_script_first, o.log_program_first);
    programs.insert(o.program);
  }
  EXPECT_EQ(static_cast<size_t>(kOrderCount), programs.size());
}

}  // namespace

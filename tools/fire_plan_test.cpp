#include "tools/fire_plan.h"

#include <gtest/gtest.h>

#include "qslx/request_line.h"
#include "wkcfg/model/model_test_tree.h"

namespace {

// The plan of the single event `line`.
TFirePlan PlanOf(const std::string& line, int32_t warning_time = 300) {
  TEvents events;
  EXPECT_TRUE(events.AddEventLine(line));
  return PlanEvent(events, 0, warning_time);
}

struct StepCase {
  std::string job;
  TStepKind kind;
  std::string host;
  uint16_t port;
  int command;
  std::string frame;
};

TEST(TFirePlan, EachJobBecomesItsStep) {
  TModelTestTree tree;
  const std::vector<StepCase> cases = {
      {"$R_SHUT,10.0.0.5,6005", TStepKind::kOrder, "10.0.0.5", 6005, 0, "<|2|0|>"},
      {"$R_MSG,slave,7", TStepKind::kOrder, "slave", 7, 1,
       "<|2|1|Rehearsal of UPS event 2 (Battery low): no action needed|>"},
      {"$R_SHELL_1,h,65535", TStepKind::kOrder, "h", 65535, 2, "<|2|2|>"},
      {"$R_SHELL_2,h,1", TStepKind::kOrder, "h", 1, 3, "<|2|3|>"},
      {"$R_SHELL_3, h , 6005 ", TStepKind::kOrder, "h", 6005, 4, "<|2|4|>"},
      {"$R_SHUT,h,0", TStepKind::kUnusable, "h", 0, 0, ""},
      {"$R_SHUT,h,65536", TStepKind::kUnusable, "h", 0, 0, ""},
      {"$R_SHELL_1,h,x", TStepKind::kUnusable, "h", 0, 2, ""},
      {"$R_MSG,,6005", TStepKind::kUnusable, "", 0, 1, ""},
      {"$R_SHUT", TStepKind::kUnusable, "", 0, 0, ""},
      {"$POPUP,*", TStepKind::kLocal, "", 0, -1, ""},
      {"$SHUTDOWN", TStepKind::kLocal, "", 0, -1, ""},
      {"$L_SHELL,/x.sh", TStepKind::kLocal, "", 0, -1, ""},
      {"$EMAIL,a@b", TStepKind::kLocal, "", 0, -1, ""},
      {"$r_shut,h,6005", TStepKind::kLocal, "", 0, -1, ""},
  };
  for (const StepCase& c : cases) {
    TFirePlan plan = PlanOf("2|" + c.job);
    ASSERT_EQ(plan.steps.size(), 1u) << c.job;
    const TPlannedStep& step = plan.steps[0];
    EXPECT_EQ(step.kind, c.kind) << c.job;
    EXPECT_EQ(step.host, c.host) << c.job;
    EXPECT_EQ(step.port, c.port) << c.job;
    EXPECT_EQ(step.command, c.command) << c.job;
    EXPECT_EQ(step.frame, c.frame) << c.job;
    EXPECT_EQ(step.problem.empty(), c.kind != TStepKind::kUnusable) << c.job;
  }
}

// The message names the event; with a name too long for the daemon's line
// the order is not sent but reported with the limit. Other orders of the
// same event still go.
TEST(TFirePlan, MessagePastTheDaemonsLineLimitIsUnusable) {
  TModelTestTree tree;
  const std::string fits(1900, 'n');
  const std::string too_long(20000, 'n');
  std::string language = ReadFile(tree.Path("languages/english.lng"));
  language.insert(language.find("[EVENTS]\n") + 9, "40=" + fits + "\n41=" + too_long + "\n");
  tree.Write("languages/english.lng", language);
  TFirePlan fitting = PlanOf("40|$R_MSG,h,6005");
  EXPECT_EQ(fitting.steps[0].kind, TStepKind::kOrder);
  EXPECT_LE(2 * fitting.steps[0].frame.size(), kMaxRequestLine);
  TFirePlan plan = PlanOf("41|$R_MSG,h,6005|$R_SHELL_1,h,6005");
  ASSERT_EQ(plan.steps.size(), 2u);
  EXPECT_EQ(plan.steps[0].kind, TStepKind::kUnusable);
  EXPECT_TRUE(plan.steps[0].frame.empty());
  EXPECT_NE(plan.steps[0].problem.find("limit of " + std::to_string(kMaxRequestLine)),
            std::string::npos)
      << plan.steps[0].problem;
  EXPECT_EQ(plan.steps[1].kind, TStepKind::kOrder);
}

TEST(TFirePlan, KeepsTheJobsOrderAndTheConsolesLines) {
  TModelTestTree tree;
  TFirePlan plan = PlanOf("11|$POPUP,*|$R_SHUT,h,6005|$BOGUS,1|$SHUTDOWN", 600);
  EXPECT_EQ(plan.code, 11);
  EXPECT_EQ(plan.name, "Shutdown in 10 min now");
  std::vector<std::string> shown;
  for (const TPlannedStep& step : plan.steps) shown.push_back(step.shown);
  EXPECT_EQ(shown, (std::vector<std::string>{"- Popup", "- RShut (h : 6005)", "- $BOGUS,1",
                                             "- Shutdown"}));
  EXPECT_EQ(ShownJob("$R_MSG,h,1"), DescribeJob("$R_MSG,h,1"));
}

TEST(TFirePlan, WithoutLanguageJobsShowTheirOwnText) {
  EXPECT_EQ(ShownJob("$R_SHUT,h,6005"), "- $R_SHUT,h,6005");
  EXPECT_EQ(PlanOf("2|$LOG").name, "");
}

struct ConfirmCase {
  std::string line;
  bool yes, dry_run, terminal;
  TConfirmation expected;
};

TEST(TFirePlan, OnlyShutdownOrdersNeedConfirmation) {
  const std::string shut = "0|$R_MSG,a,1|$R_SHUT,b,2|$R_SHUT,c,3";
  const std::vector<ConfirmCase> cases = {
      {shut, false, false, true, TConfirmation::kAsk},
      {shut, false, false, false, TConfirmation::kRefuse},
      {shut, true, false, false, TConfirmation::kNotNeeded},
      {shut, false, true, false, TConfirmation::kNotNeeded},
      {"0|$R_MSG,a,1|$R_SHELL_1,a,1|$SHUTDOWN", false, false, false, TConfirmation::kNotNeeded},
      // An unusable shutdown job is never sent, so it asks nothing.
      {"0|$R_SHUT,a,0", false, false, false, TConfirmation::kNotNeeded},
  };
  for (const ConfirmCase& c : cases) {
    EXPECT_EQ(ConfirmationFor(PlanOf(c.line), c.yes, c.dry_run, c.terminal), c.expected) << c.line;
  }
  EXPECT_EQ(PlanOf(shut).ShutdownTargets(), (TTextList{"b:2", "c:3"}));
}

TEST(TFirePlan, AnswersThatConfirm) {
  for (const char* yes : {"y", "Y", "yes", " YES\n", "Yes\r\n"}) EXPECT_TRUE(IsYes(yes)) << yes;
  for (const char* no : {"", "\n", "n", "no", "yess", "y e s", "ja"}) EXPECT_FALSE(IsYes(no)) << no;
}

TEST(TFirePlan, RehearsalMessageCannotCutTheFrame) {
  std::string text = RehearsalMessage(7, "a|b\rc");
  EXPECT_EQ(text.find_first_of("|\r\n"), std::string::npos);
  EXPECT_NE(text.find("event 7 (a/b c)"), std::string::npos);
  EXPECT_EQ(RehearsalMessage(3, ""), "Rehearsal of UPS event 3: no action needed");
}

TEST(TFirePlan, SuiteSettingsAreLookedForBesideTheConfigurationFirst) {
  const std::string standard = "/usr/vantrel/voltmon/bin/";
  EXPECT_EQ(SuiteSettingsDirectories("/i/bin/wksrv.cfg", "/p/"),
            (TTextList{"/i/bin/", "/p/", standard}));
  EXPECT_EQ(SuiteSettingsDirectories("wksrv.cfg", "/p/"), (TTextList{"./", "/p/", standard}));
  EXPECT_EQ(SuiteSettingsDirectories("", "/p/"), (TTextList{"/p/", standard}));
  EXPECT_EQ(SuiteSettingsDirectories("/p/x.cfg", "/p/"), (TTextList{"/p/", standard}));
  EXPECT_EQ(SuiteSettingsDirectories("", standard), (TTextList{standard}));
}

TEST(TFirePlan, ListsEveryEventWithItsJobs) {
  TModelTestTree tree;
  TEvents events;
  for (const char* line : {"2|$POPUP,*|$R_SHUT,h,6005", "11", "x|$LOG", "99|$EMAIL,a@b"}) {
    ASSERT_TRUE(events.AddEventLine(line));
  }
  EXPECT_EQ(EventListing(events, 120),
            (TTextList{"event 2: Battery low", "  - Popup", "  - RShut (h : 6005)",
                       "event 11: Shutdown in 2 min now", "  (no jobs)", "event 'x'", "  - Log",
                       "event 99", "  - Mail (a@b)"}));
  EXPECT_TRUE(EventListing(TEvents(), 300).empty());
}

}  // namespace

#include "wksrv/job_plan.h"

#include <gtest/gtest.h>

#include "wksrv/wksrv_test_tree.h"

namespace {

// The plan in short: one word per step, orders as COMMAND@HOST:PORT or
// COMMAND@HOST!problem, the local ones by their kind and parameter.
std::string Shape(const TEventPlan& plan) {
  std::string shape;
  for (const TJobStep& step : plan.steps) {
    if (!shape.empty()) shape += " ";
    switch (step.kind) {
      case TJobKind::kOrders: {
        shape += "orders(";
        for (size_t i = 0; i < step.orders.size(); ++i) {
          const TPlannedOrder& order = step.orders[i];
          shape += (i > 0 ? "," : "") + std::to_string(order.command) + "@" + order.host;
          shape += order.problem.empty() ? ":" + std::to_string(order.port) : "!";
        }
        shape += ")";
        break;
      }
      case TJobKind::kPopup:
        shape += "popup";
        break;
      case TJobKind::kLog:
        shape += "log";
        break;
      case TJobKind::kSysLog:
        shape += "syslog";
        break;
      case TJobKind::kLocalScript:
        shape += "script(" + step.parameter + ")";
        break;
      case TJobKind::kEmail:
        shape += "mail(" + step.parameter + ")";
        break;
      case TJobKind::kShutdown:
        shape += "shutdown";
        break;
      case TJobKind::kUnknown:
        shape += "unknown(" + step.job + ")";
        break;
    }
  }
  return shape;
}

TEventPlan PlanOf(const std::vector<std::string>& lines, int32_t code) {
  TEvents events;
  for (const std::string& line : lines) events.AddEventLine(line);
  return PlanEvent(events, code, 300);
}

TEST(JobPlan, ConsecutiveRemoteJobsGoOutTogetherAndEveryOtherJobAlone) {
  TWksrvTestTree tree;
  struct Case {
    std::string line;
    std::string shape;
  };
  const std::vector<Case> cases = {
      {"0|$R_SHUT,a,6005|$R_MSG,b,6006|$R_SHELL_1,c,1|$R_SHELL_2,d,2|$R_SHELL_3,e,65535",
       "orders(0@a:6005,1@b:6006,2@c:1,3@d:2,4@e:65535)"},
      {"0|$R_MSG,a,6005|$LOG|$R_MSG,b,6005", "orders(1@a:6005) log orders(1@b:6005)"},
      // Jobs that cannot be sent stay in their group, marked, not sent elsewhere.
      {"0|$R_SHUT,a,6005|$R_SHUT,,6005|$R_SHUT,b,0|$R_SHUT,c,x|$R_SHUT,d,65536|$R_SHUT",
       "orders(0@a:6005,0@!,0@b!,0@c!,0@d!,0@!)"},
      {"0|$POPUP,*|$LOG|$MSLOG|$L_SHELL,/x/y.sh|$EMAIL,ops@example.org|$SHUTDOWN",
       "popup log syslog script(/x/y.sh) mail(ops@example.org) shutdown"},
      {"0| $R_SHUT , a , 6005 |$BOGUS,1|$r_shut,a,6005|$EMAIL",
       "orders(0@a:6005) unknown($BOGUS,1) unknown($r_shut,a,6005) mail()"},
      {"0", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Shape(PlanOf({c.line}, 0)), c.shape) << c.line;
  }
}

TEST(JobPlan, TheFirstEventWithTheCodeCountsAndAnUnconfiguredOneHasNoSteps) {
  TWksrvTestTree tree;
  EXPECT_EQ(Shape(PlanOf({"2|$LOG", "0|$POPUP,*", "0|$MSLOG"}, 0)), "popup");
  const TEventPlan none = PlanOf({"2|$LOG"}, 7);
  EXPECT_TRUE(none.steps.empty());
  EXPECT_EQ(none.name, "UPS event 7");
}

TEST(JobPlan, OrdersCarryTheEventCodeAndMessagesItsNameOnOneLine) {
  TWksrvTestTree tree;
  struct Case {
    std::string line;
    int32_t code;
    std::string name;
    std::string frame;
  };
  const std::vector<Case> cases = {
      {"0|$R_MSG,a,1", 0, "Mains failure", "<|0|1|Mains failure|>"},
      {"0|$R_SHUT,a,1", 0, "Mains failure", "<|0|0|>"},
      {"2|$R_SHELL_3,a,1", 2, "Battery low", "<|2|4|>"},
      // "^" is a line break in the language file; a message is one line.
      {"11|$R_MSG,a,1", 11, "Shutdown in 5 min now", "<|11|1|Shutdown in 5 min now|>"},
      // A "|" would cut the message on the slave.
      {"13|$R_MSG,a,1", 13, "Phase|failure", "<|13|1|Phase/failure|>"},
      // Without a name in the language file the message still says something.
      {"9|$R_MSG,a,1", 9, "UPS event 9", "<|9|1|UPS event 9|>"},
  };
  for (const Case& c : cases) {
    const TEventPlan plan = PlanOf({c.line}, c.code);
    EXPECT_EQ(plan.name, c.name) << c.line;
    ASSERT_EQ(plan.steps.size(), 1u) << c.line;
    ASSERT_EQ(plan.steps[0].orders.size(), 1u) << c.line;
    EXPECT_EQ(plan.steps[0].orders[0].frame, c.frame) << c.line;
  }
}

TEST(JobPlan, OnlyLoggingRunsOnceTheShutdownHasBegun) {
  const std::vector<std::pair<TJobKind, bool>> cases = {
      {TJobKind::kLog, true},       {TJobKind::kSysLog, true},       {TJobKind::kOrders, false},
      {TJobKind::kPopup, false},    {TJobKind::kLocalScript, false}, {TJobKind::kEmail, false},
      {TJobKind::kShutdown, false}, {TJobKind::kUnknown, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunsAfterShutdown(c.first), c.second) << static_cast<int>(c.first);
  }
}

}  // namespace

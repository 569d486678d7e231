#include "wkcfg/model/events.h"

#include <errno.h>

#include "gtest/gtest.h"
#include "wkcfg/model/model_test_tree.h"

namespace {

// Events built from encoded lines.
TEvents EventsOf(const TTextList& lines) {
  TEvents events;
  for (const std::string& line : lines) events.AddEventLine(line);
  return events;
}

TEST(EventLine, DecodesToStrippedElementsThatReadBackUnchanged) {
  struct Case {
    const char* line;
    TTextList elements;  // empty: no event added
  };
  const Case cases[] = {
      {" 12 | $POPUP,* |\t$SHUTDOWN |", {"12", "$POPUP,*", "$SHUTDOWN"}},
      {"1||$LOG", {"1", "", "$LOG"}},
      {"|$LOG", {"", "$LOG"}},
      {"3|$LOG||", {"3", "$LOG"}},
      {"\x01 7\r|$LOG\r\n", {"7", "$LOG"}},
      {"4|$L_SHELL,/a\rb", {"4", "$L_SHELL,/ab"}},
      {"", {}},
      {"  \t", {}},
      {"|", {}},
      {"x", {"x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TEvents events = EventsOf({c.line});
    if (c.elements.empty()) {
      EXPECT_EQ(events.Count(), 0);
      continue;
    }
    ASSERT_EQ(events.Count(), 1);
    EXPECT_EQ(events.Lists()[0], c.elements);
    EXPECT_EQ(EventsOf({events.EventLine(0)}).Lists(), events.Lists());
  }
}

TEST(Events, HoldAtMostTheEventsAnEightBitCountCarries) {
  TEvents events;
  for (int i = 0; i < TEvents::kMaxEvents; ++i) ASSERT_TRUE(events.AddEventLine("1|$LOG"));
  EXPECT_TRUE(events.Full());
  EXPECT_FALSE(events.AddEventLine("2|$LOG"));
  EXPECT_TRUE(events.AddEventLine("  "));
  EXPECT_EQ(events.Count(), 255);
}

TEST(Events, FindByCodeAndNames) {
  TModelTestTree tree;
  TEvents events = EventsOf({"x|$LOG", "2|$LOG", "11", "2|$POPUP,*", " 011 "});
  EXPECT_EQ(events.FindEventByCode(2), 1);
  EXPECT_EQ(events.FindEventByCode(-1), 0);
  EXPECT_EQ(events.FindEventByCode(11), 2);
  EXPECT_EQ(events.FindEventByCode(5), -1);
  EXPECT_EQ(events.EventName(2, 300), "Battery low");
  EXPECT_EQ(events.EventName(11, 179), "Shutdown in 2 min\rnow");
  EXPECT_EQ(events.EventName(5, 300), "");
  EXPECT_EQ(EventsOf({"9|$LOG"}).EventName(9, 300), "");
}

TEST(Actions, IndexAndDescriptionOfEveryKind) {
  TModelTestTree tree;
  EXPECT_EQ(ActionIndex("$MSLOG"), 10);
  EXPECT_EQ(ActionIndex("$POPUP"), 0);
  EXPECT_EQ(ActionIndex("$R_SHELL_3"), 7);
  EXPECT_EQ(ActionIndex("$popup"), 2);
  EXPECT_EQ(ActionIndex("$NEW"), 2);
  struct Case {
    const char* job;
    const char* line;
  };
  const Case cases[] = {
      {"$POPUP,*", "- Popup"},
      {"$LOG", "- Log"},
      {"$SHUTDOWN", "- Shutdown"},
      {"$R_SHUT,10.0.0.7,6005", "- RShut (10.0.0.7 : 6005)"},
      {"$R_MSG, host , 7", "- RMsg (host : 7)"},
      {"$R_SHELL_1,h", "- RSh1 (h : )"},
      {"$R_SHELL_2,h,1", "- RSh2 (h : 1)"},
      {"$R_SHELL_3,,2", "- RSh3 ( : 2)"},
      {"$L_SHELL,/opt/run.sh,ignored", "- Local (/opt/run.sh)"},
      {"$EMAIL", "- Mail ()"},
      {"$MSLOG", "- MsLog"},
      {"$UNKNOWN,x", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DescribeJob(c.job), c.line) << c.job;
}

TEST(Jobs, AppendKeepsAFinalShutdownLast) {
  struct Case {
    const char* before;
    const char* job;
    const char* after;
  };
  const Case cases[] = {
      {"1|$POPUP,*|$SHUTDOWN", "$LOG", "1|$POPUP,*|$LOG|$SHUTDOWN"},
      {"1|$SHUTDOWN", "$LOG", "1|$LOG|$SHUTDOWN"},
      {"1|$SHUTDOWN,now", "$LOG", "1|$SHUTDOWN,now|$LOG"},
      {"1|$SHUTDOWN|$LOG", "$SHUTDOWN", "1|$SHUTDOWN|$LOG|$SHUTDOWN"},
      {"1", "$SHUTDOWN", "1|$SHUTDOWN"},
      {"1", " $EMAIL,a@b.c \t", "1|$EMAIL,a@b.c"},
  };
  for (const Case& c : cases) {
    TEvents events = EventsOf({c.before});
    ASSERT_TRUE(events.AppendJob(0, c.job)) << c.before;
    EXPECT_EQ(events.EventLine(0), c.after);
  }
}

TEST(Jobs, TextsThatWouldChangeTheEventAreRefused) {
  TEvents events = EventsOf({"1|$LOG"});
  for (const char* job : {"", " \t", "$L_SHELL,a|b", "$EMAIL,a\nb", "$LOG\r"}) {
    EXPECT_FALSE(IsStorableJob(job)) << job;
    EXPECT_FALSE(events.AppendJob(0, job)) << job;
    EXPECT_FALSE(events.ReplaceJob(0, 0, job)) << job;
  }
  EXPECT_FALSE(events.AppendJob(1, "$LOG"));
  EXPECT_FALSE(events.AppendJob(-1, "$LOG"));
  EXPECT_EQ(events.EventLine(0), "1|$LOG");
}

TEST(Jobs, MovesStopAtBothEndsAndOutOfRange) {
  TEvents events = EventsOf({"1|a|b|c"});
  EXPECT_FALSE(events.MoveJobUp(0, 0));
  EXPECT_FALSE(events.MoveJobDown(0, 2, 2));
  EXPECT_FALSE(events.MoveJobUp(-1, 1));
  EXPECT_FALSE(events.MoveJobUp(1, 1));
  EXPECT_FALSE(events.MoveJobDown(0, -1, 2));
  EXPECT_FALSE(events.MoveJobDown(0, 2, 5));
  EXPECT_FALSE(events.MoveJobUp(0, 3));
  EXPECT_EQ(events.EventLine(0), "1|a|b|c");
  EXPECT_TRUE(events.MoveJobUp(0, 2));
  EXPECT_EQ(events.EventLine(0), "1|a|c|b");
  EXPECT_TRUE(events.MoveJobDown(0, 0, 2));
  EXPECT_EQ(events.EventLine(0), "1|c|a|b");
}

TEST(Jobs, ReadReplaceAndDelete) {
  TEvents events = EventsOf({"1|$R_MSG,h,7|$LOG"});
  EXPECT_EQ(events.JobCount(0), 2);
  EXPECT_EQ(events.JobCount(3), 0);
  EXPECT_EQ(events.ActionIndexOfJob(0, 0), 4);
  EXPECT_EQ(events.ActionIndexOfJob(0, 2), -1);
  EXPECT_EQ(JobParameter(events.Job(0, 0), 1), "7");
  EXPECT_EQ(JobParameter(events.Job(0, 0), 2), "");
  EXPECT_TRUE(events.ReplaceJob(0, 1, "$EMAIL,x@y"));
  EXPECT_FALSE(events.ReplaceJob(0, 2, "$LOG"));
  EXPECT_TRUE(events.DeleteJob(0, 0));
  EXPECT_FALSE(events.DeleteJob(0, 1));
  EXPECT_EQ(events.EventLine(0), "1|$EMAIL,x@y");
}

class EventsFile : public ::testing::Test {
 protected:
  TModelTestTree tree;
};

TEST_F(EventsFile, SaveAndLoadOneLinePerEvent) {
  TEvents empty;
  ASSERT_EQ(empty.SaveEventsFile(tree.Path("none.evt")), 0);
  EXPECT_EQ(tree.Read("none.evt"), "");
  ASSERT_EQ(empty.LoadEventsFile(tree.Path("none.evt")), 0);
  EXPECT_EQ(empty.Count(), 0);

  TEvents events = EventsOf({"1|$LOG", "2|$POPUP,*|$SHUTDOWN"});
  ASSERT_EQ(events.SaveEventsFile(tree.Path("my.evt")), 0);
  EXPECT_EQ(tree.Read("my.evt"), "1|$LOG\n2|$POPUP,*|$SHUTDOWN\n");
  TEvents loaded = EventsOf({"0|$LOG"});
  ASSERT_EQ(loaded.LoadEventsFile(tree.Path("my.evt")), 0);
  EXPECT_EQ(loaded.Count(), 3);
  EXPECT_EQ(loaded.EventLine(2), "2|$POPUP,*|$SHUTDOWN");
}

TEST_F(EventsFile, FailuresReturnTheErrorAndChangeNothing) {
  TEvents events = EventsOf({"1|$LOG"});
  EXPECT_EQ(events.LoadEventsFile(tree.Path("missing.evt")), ENOENT);
  EXPECT_EQ(events.LoadEventsFile(tree.Path("bin")), EISDIR);
  EXPECT_EQ(events.Count(), 1);
  EXPECT_EQ(events.SaveEventsFile(tree.Path("nodir/x.evt")), ENOENT);
  EXPECT_EQ(events.SaveEventsFile(tree.Path("bin")), EISDIR);
  tree.Write("old.evt", "9|$LOG\n");
  EXPECT_EQ(events.SaveEventsFile(tree.Path("old.evt/x")), ENOTDIR);
  EXPECT_EQ(tree.Read("old.evt"), "9|$LOG\n");
}

TEST_F(EventsFile, LongFileLoadsTheEventsThatFitAndSaysItWasCut) {
  std::string text = "\n";
  for (int i = 0; i < 257; ++i) text += std::to_string(i) + "|$LOG\n\n";
  tree.Write("long.evt", text);
  TEvents events;
  EXPECT_EQ(events.LoadEventsFile(tree.Path("long.evt")), EFBIG);
  EXPECT_EQ(events.Count(), 255);
  EXPECT_EQ(events.EventLine(254), "254|$LOG");
}

TEST_F(EventsFile, DefaultSectionsByCountInKeyOrder) {
  tree.Write("bin/defevent.evn",
             "[COMMON]\nEvCounter=4\nEv3=4|$LOG\nEv0=1|$LOG\nEv2=\nev1=2|$LOG\nEv01=x\nEv4=5\n"
             "[BAD]\nEvCounter=two\nEv0=1\n[HUGE]\nEvCounter=2147483647\nEv2000000000=7\n"
             "[NEG]\nEvCounter=-3\nEv0=1\n");
  const std::string path = tree.Path("bin/defevent.evn");
  TEvents events;
  events.LoadDefaultEvents(path, "common");
  EXPECT_EQ(events.Lists(), EventsOf({"1|$LOG", "2|$LOG", "4|$LOG"}).Lists());
  for (const char* section : {"BAD", "NEG", "MISSING"}) events.LoadDefaultEvents(path, section);
  events.LoadDefaultEvents(tree.Path("bin/none.evn"), "COMMON");
  EXPECT_EQ(events.Count(), 3);
  events.LoadDefaultEvents(path, "HUGE");
  EXPECT_EQ(events.EventLine(3), "7");
}

TEST(NumberedKey, DecimalWithoutPaddingAfterThePrefix) {
  EXPECT_EQ(NumberedKey("Event12", "Event"), 12);
  EXPECT_EQ(NumberedKey("EVENT0", "Event"), 0);
  for (const char* key : {"Event", "Event01", "Event-1", "Event+1", "EventCounter", "Even1"}) {
    EXPECT_EQ(NumberedKey(key, "Event"), -1) << key;
  }
}

}  // namespace

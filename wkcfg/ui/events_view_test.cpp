#include "wkcfg/ui/events_view.h"

#include <gtest/gtest.h>

#include "tui/terminal.h"
#include "wkcfg/model/model_test_tree.h"

namespace {

// Events from their lines, with the language file of the model's tests
// (action texts "Popup", "Log", "Shutdown", "RShut", ..., "Mail").
class EventsView : public ::testing::Test {
 protected:
  void Load(const TTextList& lines) {
    events.ClearEvents();
    for (const std::string& line : lines) ASSERT_TRUE(events.AddEventLine(line));
  }
  TModelTestTree tree;
  TEvents events;
};

}  // namespace

TEST(EventsCommand, KeysInEitherCase) {
  struct {
    int key;
    TEventsCommand command;
  } cases[] = {
      {'S', TEventsCommand::kListEvents}, {'s', TEventsCommand::kListEvents},
      {'I', TEventsCommand::kInsert},     {'i', TEventsCommand::kInsert},
      {'E', TEventsCommand::kEdit},       {'e', TEventsCommand::kEdit},
      {'D', TEventsCommand::kDelete},     {'d', TEventsCommand::kDelete},
      {'P', TEventsCommand::kMoveUp},     {'p', TEventsCommand::kMoveUp},
      {'N', TEventsCommand::kMoveDown},   {'n', TEventsCommand::kMoveDown},
      {'W', TEventsCommand::kSave},       {'w', TEventsCommand::kSave},
      {'L', TEventsCommand::kLoad},       {'l', TEventsCommand::kLoad},
      {'R', TEventsCommand::kReset},      {'r', TEventsCommand::kReset},
      {kKeyEsc, TEventsCommand::kLeave},  {kKeyEnter, TEventsCommand::kNone},
      {'x', TEventsCommand::kNone},       {kKeyResize, TEventsCommand::kNone},
      {kKeyNone, TEventsCommand::kNone},  {'S' + 256, TEventsCommand::kNone},
  };
  for (const auto& c : cases) EXPECT_EQ(EventsCommandOfKey(c.key), c.command) << c.key;
}

TEST(LinePosition, FirstEqualLineTrimmed) {
  const TTextList lines{"- Log", "- Popup ", "- Log", ""};
  struct {
    std::string chosen;
    int position;
  } cases[] = {{"- Log", 0}, {"- Popup", 1}, {"", 3}, {"- Mail", -1}, {"Log", -1}};
  for (const auto& c : cases) EXPECT_EQ(LinePosition(lines, c.chosen), c.position) << c.chosen;
  EXPECT_EQ(LinePosition({}, ""), -1);
}

TEST_F(EventsView, EventNamesOnOneLineAndOnlyForEightBitCodes) {
  Load({"2|$LOG", "11", "abc|$LOG", "258", "99", "2"});
  // 258 would read as code 2 in 8 bits: it is no event's name.
  EXPECT_EQ(EventNameLines(events, 300),
            (TTextList{"Battery low", "Shutdown in 5 min now", "", "", "", "Battery low"}));
  EXPECT_TRUE(EventNameLines(TEvents(), 300).empty());
}

TEST_F(EventsView, EveryJobHasALineOfItsOwn) {
  Load({"5|$POPUP,*|$R_SHUT,10.0.0.1,6005|$FOO,1||$EMAIL,a@b|$L_SHELL,/x.sh|$MSLOG"});
  EXPECT_EQ(JobLinesOf(events, 0), (TTextList{"- Popup", "- RShut (10.0.0.1 : 6005)", "- $FOO,1",
                                              "- ", "- Mail (a@b)", "- Local (/x.sh)", "- MsLog"}));
  EXPECT_TRUE(JobLinesOf(events, 1).empty());
  EXPECT_TRUE(JobLinesOf(events, -1).empty());
}

TEST(JobEditAction, KnownCodesOnly) {
  struct {
    std::string job;
    int action;
  } cases[] = {{"$POPUP,*", 0}, {"$SHUTDOWN", 2}, {"$R_SHELL_3,h,1", 7}, {"$MSLOG", 10},
               {"$FOO,1", -1},  {"", -1},         {"$log", -1},          {" $LOG ", 1}};
  for (const auto& c : cases) EXPECT_EQ(JobEditAction(c.job), c.action) << c.job;
}

TEST_F(EventsView, RebuildAndSelectEvent) {
  Load({"2|$LOG", "9|$POPUP,*|$SHUTDOWN", "2"});
  TEventsView view;
  view.CurrentEvent = 2;
  view.Rebuild(events, 300);
  EXPECT_EQ(view.CurrentEvent, 0);
  EXPECT_EQ(view.EventListWidth, 12);  // "Battery low" + 1
  EXPECT_EQ(view.JobLines, (TTextList{"- Log"}));
  EXPECT_TRUE(view.SelectEvent(events, ""));  // event 9 has no name
  EXPECT_EQ(view.CurrentEvent, 1);
  EXPECT_EQ(view.JobLines, (TTextList{"- Popup", "- Shutdown"}));
  EXPECT_TRUE(view.SelectEvent(events, "Battery low"));  // the first of equal names
  EXPECT_EQ(view.CurrentEvent, 0);
  EXPECT_FALSE(view.SelectEvent(events, "Nothing"));
  EXPECT_EQ(view.CurrentEvent, 0);

  TEventsView empty;
  empty.Rebuild(TEvents(), 300);
  EXPECT_FALSE(empty.HasEvent(TEvents()));
  EXPECT_TRUE(empty.JobLines.empty());
  EXPECT_EQ(empty.EventListWidth, 1);
  EXPECT_FALSE(empty.SelectEvent(TEvents(), ""));
}

TEST_F(EventsView, JobCommandsActOnTheHighlightedLine) {
  const std::string start = "7|$LOG|$FOO|$LOG|$SHUTDOWN";
  struct {
    TEventsCommand command;
    std::string chosen;
    std::string after;
    bool changed;
  } cases[] = {
      {TEventsCommand::kDelete, "- $FOO", "7|$LOG|$LOG|$SHUTDOWN", true},
      {TEventsCommand::kDelete, "- Log", "7|$FOO|$LOG|$SHUTDOWN", true},  // equal lines: first
      {TEventsCommand::kMoveUp, "- Log", start, false},
      {TEventsCommand::kMoveUp, "- Shutdown", "7|$LOG|$FOO|$SHUTDOWN|$LOG", true},
      {TEventsCommand::kMoveDown, "- Shutdown", start, false},
      {TEventsCommand::kMoveDown, "- $FOO", "7|$LOG|$LOG|$FOO|$SHUTDOWN", true},
      {TEventsCommand::kDelete, "- Mail", start, false},
      {TEventsCommand::kInsert, "- Log", start, false},
  };
  for (const auto& c : cases) {
    Load({"2|$POPUP,*", start});
    TEventsView view;
    view.Rebuild(events, 300);
    ASSERT_TRUE(view.SelectEvent(events, ""));  // code 7 has no name
    view.ChosenLine = c.chosen;
    EXPECT_EQ(ApplyJobCommand(&view, &events, c.command), c.changed) << c.chosen;
    EXPECT_EQ(events.EventLine(1), c.after) << c.chosen;
    EXPECT_EQ(events.EventLine(0), "2|$POPUP,*");
    EXPECT_EQ(view.JobLines, JobLinesOf(events, 1));
  }
}

TEST_F(EventsView, JobCommandsWithoutEventsDoNothing) {
  TEventsView view;
  view.Rebuild(events, 300);
  view.ChosenLine = "- Log";
  for (auto command :
       {TEventsCommand::kDelete, TEventsCommand::kMoveUp, TEventsCommand::kMoveDown}) {
    EXPECT_FALSE(ApplyJobCommand(&view, &events, command));
  }
  EXPECT_EQ(events.Count(), 0);
}

TEST(JobDialog, KindsFieldsAndBuiltJobs) {
  const std::string address = "Computer TCP/IP address:";
  const std::string port = "TCP/IP port [def. 6005]:";
  struct {
    int action;
    TJobDialogKind kind;
    TTextList labels;
    TTextList parameters;
    std::string job;
  } cases[] = {
      {-1, TJobDialogKind::kNone, {}, {}, ""},
      {0, TJobDialogKind::kNoParameters, {}, {"x"}, "$POPUP,*"},
      {1, TJobDialogKind::kNoParameters, {}, {}, "$LOG"},
      {2, TJobDialogKind::kNoParameters, {}, {"x"}, "$SHUTDOWN"},
      {3, TJobDialogKind::kFields, {address, port}, {"h", "6005"}, "$R_SHUT,h,6005"},
      {4, TJobDialogKind::kFields, {address, port}, {"h", "1"}, "$R_MSG,h,1"},
      {5, TJobDialogKind::kFields, {address, port}, {"h", "2"}, "$R_SHELL_1,h,2"},
      {6, TJobDialogKind::kFields, {address, port}, {"h", "3"}, "$R_SHELL_2,h,3"},
      {7, TJobDialogKind::kFields, {address, port}, {"h"}, "$R_SHELL_3,h,"},
      {8, TJobDialogKind::kFields, {"File path and name:"}, {"/a b.sh"}, "$L_SHELL,/a b.sh"},
      {9, TJobDialogKind::kFields, {"Recipient address:"}, {"a@b", "x"}, "$EMAIL,a@b"},
      {10, TJobDialogKind::kNone, {}, {}, "$MSLOG"},
      {11, TJobDialogKind::kNone, {}, {}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JobDialogKindOf(c.action), c.kind) << c.action;
    TTextList labels;
    for (const TJobField& field : JobDialogFields(c.action)) {
      labels.push_back(field.label);
      EXPECT_EQ(field.port, field.label == port);
    }
    EXPECT_EQ(labels, c.labels) << c.action;
    EXPECT_EQ(BuildJob(c.action, c.parameters), c.job) << c.action;
  }
}

TEST(JobDialog, StartValues) {
  struct {
    int action;
    std::string job;
    bool is_new;
    TTextList values;
  } cases[] = {
      {3, "", true, {"", "6005"}},
      {7, "$R_SHELL_3,h,99", true, {"", "6005"}},
      {3, "$R_SHUT,10.0.0.1,7000", false, {"10.0.0.1", "7000"}},
      {4, "$R_MSG,host", false, {"host", ""}},
      {8, "$L_SHELL,/bin/x.sh", false, {"/bin/x.sh"}},
      {9, "", true, {""}},
      {1, "$LOG", false, {}},
  };
  for (const auto& c : cases) {
    TJobForm form = TJobForm::For(c.action, c.job, c.is_new);
    EXPECT_EQ(form.values, c.values) << c.job;
    EXPECT_EQ(form.focus, 0);
    EXPECT_EQ(form.RowCount(), static_cast<int>(c.values.size()) + 2);
  }
}

TEST(JobDialog, KeysMoveStoreAndCheck) {
  struct TStep {
    int key;
    std::string typed;
    TJobFormStep step;
    int focus;  // after the key
  };
  struct {
    const char* name;
    int action;
    std::vector<TStep> steps;
    TTextList values;  // at the end
  } cases[] = {
      {"arrows wrap round the rows",
       3,
       {{kKeyUp, "", TJobFormStep::kOpen, 3},
        {kKeyDown, "", TJobFormStep::kOpen, 0},
        {kKeyDown, "", TJobFormStep::kOpen, 1},
        {kKeyDown, "", TJobFormStep::kOpen, 2},
        {kKeyDown, "", TJobFormStep::kOpen, 3},
        {kKeyDown, "", TJobFormStep::kOpen, 0},
        {'x', "", TJobFormStep::kOpen, 0},
        {kKeyTab, "", TJobFormStep::kOpen, 0}},
       {"", "6005"}},
      {"typed values stored, then OK",
       3,
       {{kKeyEnter, "10.0.0.9", TJobFormStep::kOpen, 1},
        {kKeyEnter, "7000", TJobFormStep::kOpen, 2},
        {kKeyEnter, "", TJobFormStep::kAccepted, 2}},
       {"10.0.0.9", "7000"}},
      {"empty address refused, focus back on it",
       4,
       {{kKeyDown, "", TJobFormStep::kOpen, 1},
        {kKeyDown, "", TJobFormStep::kOpen, 2},
        {kKeyEnter, "", TJobFormStep::kEmptyFirst, 0}},
       {"", "6005"}},
      {"bad ports keep the focus and the old port",
       5,
       {{kKeyEnter, "h", TJobFormStep::kOpen, 1},
        {kKeyEnter, "70000", TJobFormStep::kBadPort, 1},
        {kKeyEnter, "0", TJobFormStep::kBadPort, 1},
        {kKeyEnter, "-1", TJobFormStep::kBadPort, 1},
        {kKeyEnter, "65535", TJobFormStep::kOpen, 2}},
       {"h", "65535"}},
      {"separators refused",
       9,
       {{kKeyEnter, "a@b,c@d", TJobFormStep::kBadText, 0},
        {kKeyEnter, "a|b", TJobFormStep::kBadText, 0},
        {kKeyEnter, "a@b", TJobFormStep::kOpen, 1}},
       {"a@b"}},
      {"cancel button and ESC",
       8,
       {{kKeyUp, "", TJobFormStep::kOpen, 2},
        {kKeyEnter, "", TJobFormStep::kCancelled, 2},
        {kKeyEsc, "", TJobFormStep::kCancelled, 2}},
       {""}},
  };
  for (const auto& c : cases) {
    TJobForm form = TJobForm::For(c.action, "", true);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const TStep& s = c.steps[i];
      EXPECT_EQ(JobFormKey(&form, s.key, s.typed), s.step) << c.name << " step " << i;
      EXPECT_EQ(form.focus, s.focus) << c.name << " step " << i;
    }
    EXPECT_EQ(form.values, c.values) << c.name;
  }
}

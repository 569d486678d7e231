#include "qscfg/rows.h"

#include <gtest/gtest.h>

#include "qscfg/test_probes.h"

namespace {

TEST(QsRows, MasterEntryRefusesOnlyWhatCannotBeAnAddress) {
  const struct {
    const char* address;
    TEntryVerdict verdict;
    const char* text;
  } cases[] = {
      {"", TEntryVerdict::kRefuse, "100008"},
      {"a b", TEntryVerdict::kRefuse, "BadAddress"},
      {"1.2.3.999", TEntryVerdict::kRefuse, "BadAddress"},
      {"gone.lan", TEntryVerdict::kStoreWarning, "NoResolve"},
      {"master.lan", TEntryVerdict::kStore, ""},
      {"10.0.0.1", TEntryVerdict::kStore, ""},
  };
  for (const auto& c : cases) {
    const TEntryOutcome outcome = MasterEntry(c.address, FakeProbes());
    EXPECT_EQ(c.verdict, outcome.verdict) << c.address;
    EXPECT_EQ(c.text, outcome.text_key) << c.address;
  }
}

TEST(QsRows, ScriptEntryWarnsButRefusesOnlyEmptyRequiredScripts) {
  const auto probes = FakeProbes({}, {{"/gone", TScriptState::kMissing},
                                      {"/plain", TScriptState::kNotExecutable},
                                      {"rel", TScriptState::kRelative}});
  const struct {
    size_t index;
    const char* path;
    TEntryVerdict verdict;
    const char* text;
  } cases[] = {
      {0, "", TEntryVerdict::kRefuse, "100008"},
      {1, "", TEntryVerdict::kRefuse, "100008"},
      {2, "", TEntryVerdict::kStore, ""},
      {4, "", TEntryVerdict::kStore, ""},
      {0, "/gone", TEntryVerdict::kStoreWarning, "ScriptMissing"},
      {3, "/plain", TEntryVerdict::kStoreWarning, "ScriptNotExecutable"},
      {1, "rel", TEntryVerdict::kStoreWarning, "ScriptRelative"},
      {1, "/fine", TEntryVerdict::kStore, ""},
  };
  for (const auto& c : cases) {
    const TEntryOutcome outcome = ScriptEntry(c.index, c.path, probes);
    EXPECT_EQ(c.verdict, outcome.verdict) << c.index << " " << c.path;
    EXPECT_EQ(c.text, outcome.text_key) << c.index << " " << c.path;
  }
}

TEST(QsRows, ChoicesNumberTheMastersAndLeadBack) {
  const TTextList masters = {"a.lan", "1. tricky", "10.0.0.1"};
  const TTextList choices = MasterChoices(masters);
  EXPECT_EQ((TTextList{"1. a.lan", "2. 1. tricky", "3. 10.0.0.1"}), choices);
  for (size_t i = 0; i < choices.size(); ++i)
    EXPECT_EQ(static_cast<int>(i), MasterChoiceIndex(choices[i], masters.size()));
  for (const char* bad : {"", "0. x", "4. x", "x. y", "2 x"})
    EXPECT_EQ(-1, MasterChoiceIndex(bad, masters.size())) << bad;
}

TEST(QsRows, ListOperationsKeepTheSelectionOnTheEntry) {
  const struct {
    const char* op;
    size_t at;
    TTextList after;
    size_t selected;
  } cases[] = {
      {"up", 1, {"b", "a", "c"}, 0},       {"up", 0, {"a", "b", "c"}, 0},
      {"down", 1, {"a", "c", "b"}, 2},     {"down", 2, {"a", "b", "c"}, 2},
      {"delete", 1, {"a", "c"}, 1},        {"delete", 2, {"a", "b"}, 1},
      {"add", 0, {"a", "b", "c", "d"}, 3},
  };
  for (const auto& c : cases) {
    TTextList list = {"a", "b", "c"};
    const std::string op = c.op;
    size_t selected = 0;
    if (op == "up") selected = MoveMaster(&list, c.at, -1);
    if (op == "down") selected = MoveMaster(&list, c.at, 1);
    if (op == "delete") selected = DeleteMaster(&list, c.at);
    if (op == "add") selected = AddMaster(&list, "d");
    EXPECT_EQ(c.after, list) << op << " " << c.at;
    EXPECT_EQ(c.selected, selected) << op << " " << c.at;
  }
  TTextList one = {"a"};
  EXPECT_EQ(0u, DeleteMaster(&one, 0));
  EXPECT_TRUE(one.empty());
}

TEST(QsRows, ListWindowKeepsTheSelectionInView) {
  const struct {
    size_t count, selected, rows, start;
  } cases[] = {
      {3, 2, 8, 0}, {20, 0, 8, 0}, {20, 10, 8, 6}, {20, 19, 8, 12}, {20, 3, 8, 0}, {5, 4, 0, 0},
  };
  for (const auto& c : cases) {
    const size_t start = ListWindowStart(c.count, c.selected, c.rows);
    EXPECT_EQ(c.start, start) << c.count << " " << c.selected;
    if (c.rows > 0) {
      EXPECT_TRUE(c.selected >= start && c.selected < start + c.rows);
    }
  }
}

}  // namespace

#include "wkcfg/model/upsdb.h"

#include <unistd.h>

#include <map>

#include "gtest/gtest.h"
#include "wkcfg/model/model_test_tree.h"

namespace {

// A valid model line: every field "0" but the name, the event section and
// the given overrides (field number → text).
std::string ModelLine(const std::map<int, std::string>& fields = {}) {
  std::map<int, std::string> all = {{0, "Model A"}, {26, "FAMILY"}};
  for (const auto& [n, text] : fields) all[n] = text;
  std::string line;
  for (int n = 0; n < kModelFieldCount; ++n) {
    if (n > 0) line += "|";
    line += all.count(n) ? all[n] : "0";
  }
  return line;
}

class ModelSelection : public ::testing::Test {
 protected:
  int Select(const std::string& line, bool is_new) {
    db.Models = {line};
    return SelectModel(&db, &setup, 0, is_new);
  }
  TUpsDatabase db;
  TSetupData setup;
};

TEST_F(ModelSelection, EveryUsedFieldIsAppliedInItsKind) {
  ASSERT_EQ(Select(ModelLine({{0, "  Big One \t"},
                              {4, "17"},
                              {5, "True"},
                              {7, "false"},
                              {8, " TRUE "},
                              {14, "8"},
                              {16, "258"},
                              {17, "65537"},
                              {18, "600"},
                              {19, "3"},
                              {20, "10"},
                              {21, "700"},
                              {22, "30"},
                              {23, "1"},
                              {24, "5"},
                              {26, " FAM "},
                              {29, "1"},
                              {40, "1"}}),
                   true),
            0);
  EXPECT_EQ(setup.Ups.UpsModelName, "Big One");
  EXPECT_EQ(setup.Ups.Protocol.ProtocolId, 17);
  EXPECT_EQ(setup.Ups.UpsRechargeTime, 28800);
  EXPECT_TRUE(db.Flag5);
  EXPECT_FALSE(db.Flag7);
  EXPECT_TRUE(db.Flag8);
  EXPECT_EQ(db.UpsOffMode, 2);
  EXPECT_EQ(db.UpsOffDelayMin, 1);
  EXPECT_EQ(db.UpsOffDelayMax, 600);
  EXPECT_EQ(db.UpsOnMode, 3);
  EXPECT_EQ(db.UpsOnDelayMin, 10);
  EXPECT_EQ(db.UpsOnDelayMax, 700);
  EXPECT_EQ(db.UpsOnDelayStep, 30);
  EXPECT_TRUE(db.SmartAutonomy);
  EXPECT_TRUE(db.CalibrationTest);
  EXPECT_EQ(db.EventSection, "FAM");
  EXPECT_TRUE(db.CanVinPhaseR);
  EXPECT_FALSE(db.CanVinPhaseS);
  EXPECT_TRUE(db.CanAutTime);
}

TEST_F(ModelSelection, BadLinesChangeNothing) {
  const std::string bad_lines[] = {
      ModelLine() + "|0",          ModelLine().substr(0, ModelLine().rfind('|')),
      ModelLine({{4, "x"}}),       ModelLine({{16, "1.5"}}),
      ModelLine({{23, "yes"}}),    ModelLine({{40, ""}}),
      ModelLine({{14, "596524"}}), ModelLine({{14, "h"}})};
  for (const std::string& line : bad_lines) {
    SCOPED_TRACE(line);
    TSetupData before;
    before.LogData.DataReadVinPhaseS = false;
    before.Ups.UpsModelName = "Old";
    setup = before;
    db = TUpsDatabase();
    db.SmartAutonomy = true;
    EXPECT_EQ(Select(line, true), kErrorBadModel);
    EXPECT_EQ(setup.Ups.UpsModelName, "Old");
    EXPECT_EQ(setup.Ups.UpsRechargeTime, -1);
    EXPECT_FALSE(setup.LogData.DataReadVinPhaseS);
    EXPECT_TRUE(db.SmartAutonomy);
  }
  EXPECT_EQ(SelectModel(&db, &setup, 1, false), kErrorBadModel);
  EXPECT_EQ(SelectModel(&db, &setup, -1, false), kErrorBadModel);
}

TEST_F(ModelSelection, StartSelectionIgnoresTheRechargeTimeField) {
  setup.Ups.UpsRechargeTime = 5;
  setup.Ups.UpsModelName = "Stored";
  EXPECT_EQ(Select(ModelLine({{14, "h"}}), false), 0);
  EXPECT_EQ(setup.Ups.UpsRechargeTime, 5);
  EXPECT_EQ(setup.Ups.UpsModelName, "Stored");
}

TEST_F(ModelSelection, DataFlagsAreClearedAlwaysAndSetOnlyOnANewSelection) {
  TLogDataSetup& data = setup.LogData;
  data = TLogDataSetup();
  data.DataReadVinPhaseS = false;
  data.DataReadBattChg = false;
  ASSERT_EQ(Select(ModelLine({{29, "0"}, {30, "1"}, {39, "1"}, {40, "0"}}), false), 0);
  EXPECT_FALSE(data.DataReadVinPhaseR);
  EXPECT_FALSE(data.DataReadVinPhaseS);
  EXPECT_FALSE(data.DataReadAutTime);
  EXPECT_FALSE(data.DataReadBattChg);
  ASSERT_EQ(Select(ModelLine({{29, "1"}, {30, "1"}, {38, "1"}, {39, "1"}, {40, "1"}}), true), 0);
  EXPECT_TRUE(data.DataReadVinPhaseR);
  EXPECT_TRUE(data.DataReadVinPhaseS);
  EXPECT_TRUE(data.DataReadVbatt);
  EXPECT_FALSE(data.DataReadAutTime);
  EXPECT_FALSE(data.DataReadBattChg);
  EXPECT_FALSE(data.DataReadVinPhaseT);
}

TEST(ApplyModelCapabilities, ForcedAndUnsupportedSettings) {
  struct Case {
    bool smart, is_new, stored;
    uint8_t mode;
    bool smart_after, enabled_after;
  };
  const Case cases[] = {
      {false, false, true, 0, false, false}, {false, true, true, 1, false, true},
      {true, true, false, 1, true, false},   {true, false, false, 2, false, true},
      {true, false, true, 1, true, true},    {true, true, true, 3, true, true},
  };
  for (const Case& c : cases) {
    TUpsDatabase db;
    db.SmartAutonomy = c.smart;
    db.UpsOffMode = c.mode;
    db.UpsOnMode = c.mode;
    TSetupData setup;
    setup.Ups.UpsSmartAutonomy = c.stored;
    setup.Ups.UpsOffEnabled = c.stored;
    setup.Ups.UpsOnEnabled = c.stored;
    ApplyModelCapabilities(db, &setup, c.is_new);
    EXPECT_EQ(setup.Ups.UpsSmartAutonomy, c.smart_after) << c.smart << c.is_new << c.stored;
    EXPECT_EQ(setup.Ups.UpsOffEnabled, c.enabled_after) << int(c.mode) << c.stored;
    EXPECT_EQ(setup.Ups.UpsOnEnabled, c.enabled_after) << int(c.mode) << c.stored;
  }
}

TEST(ModelDatabase, NamesAndLookupAfterStripping) {
  TModelTestTree tree;
  tree.WriteDatabase({"  Alpha 1 |x", "", "Beta|y", "  ", "Gamma", "alpha 1|z", "Beta|dup"});
  TUpsDatabase db;
  ASSERT_EQ(LoadUpsDatabase(&db, tree.Path("bin/upsdb.ups")), 0);
  EXPECT_EQ(ModelNames(db), (TTextList{"Alpha 1", "Beta", "Gamma", "alpha 1", "Beta"}));
  EXPECT_EQ(FindModel(db, "Alpha 1"), 0);
  EXPECT_EQ(FindModel(db, "alpha 1"), 5);
  EXPECT_EQ(FindModel(db, "Beta"), 2);
  EXPECT_EQ(FindModel(db, "Gamma"), -1);
  EXPECT_EQ(FindModel(db, ""), -1);
  EXPECT_EQ(LoadUpsDatabase(&db, tree.Path("bin/none.ups")), ENOENT);
}

TEST(ModelBoolean, NumbersAndWordsInAnyCase) {
  bool value = false;
  for (const char* yes : {"1", "-3", "True", "TRUE", "tRuE"}) {
    EXPECT_TRUE(ParseModelBoolean(yes, &value) && value) << yes;
  }
  for (const char* no : {"0", "False", "FALSE", "+0"}) {
    EXPECT_TRUE(ParseModelBoolean(no, &value) && !value) << no;
  }
  for (const char* bad : {"", "T", "yes", "truee", "1.0"}) {
    EXPECT_FALSE(ParseModelBoolean(bad, &value)) << bad;
  }
}

}  // namespace

// The lines are split as the plain split does, and each line, its head
// before the first "|" and the selection read the same whether a line was
// descrambled before or not.
TEST(ModelLines, ScrambledLinesReadAsTheClearOnes) {
  const std::string a = Scramble("Alpha|1|2");
  const std::string b = Scramble("no bar");
  const std::string c = Scramble("|lead");
  const struct {
    const char* name;
    std::string text;
    bool drop_cut_last;
    TTextList lines;
  } kCases[] = {
      {"line feeds", a + "\n" + b + "\n", false, {"Alpha|1|2", "no bar"}},
      {"CR LF and an empty line", a + "\r\n\r\n" + c + "\r\n", false, {"Alpha|1|2", "", "|lead"}},
      {"last line without line feed", a + "\n" + b, false, {"Alpha|1|2", "no bar"}},
      {"cut last line dropped", a + "\n" + b, true, {"Alpha|1|2"}},
      {"whole last line kept", a + "\n" + b + "\n", true, {"Alpha|1|2", "no bar"}},
      {"odd and non-hex digits", "4Z" + a + "7\n", false, {Descramble("4Z" + a + "7")}},
      {"empty", "", false, {}},
      {"only line feeds", "\n\r\n", true, {"", ""}},
  };
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.name);
    for (bool clear_first : {false, true}) {
      // Lines read before a new text is assigned must not show through.
      TModelLines lines;
      lines.AssignScrambled(Scramble("Stale|0") + "\n" + Scramble("Old") + "\n", false);
      EXPECT_EQ(lines[0], "Stale|0");
      EXPECT_EQ(lines[1], "Old");
      lines.AssignScrambled(k.text, k.drop_cut_last);
      ASSERT_EQ(lines.size(), k.lines.size());
      for (size_t i = 0; i < lines.size(); ++i) {
        if (clear_first) {
          EXPECT_EQ(lines[i], k.lines[i]);
        }
        const size_t bar = k.lines[i].find('|');
        bool has_bar = !(bar != std::string::npos);
        EXPECT_EQ(lines.Head(i, &has_bar), k.lines[i].substr(0, bar));
        EXPECT_EQ(has_bar, bar != std::string::npos);
        EXPECT_EQ(lines[i], k.lines[i]);
      }
    }
  }
}

TEST(ModelDatabase, AFullLineIsReadOnlyForTheSelection) {
  TModelTestTree tree;
  tree.WriteDatabase(
      {ModelLine({{0, "First"}}), "garbage", ModelLine({{0, " Second "}, {4, "9"}})});
  TUpsDatabase db;
  TSetupData setup;
  ASSERT_EQ(LoadUpsDatabase(&db, tree.Path("bin/upsdb.ups")), 0);
  ASSERT_EQ(FindModel(db, "Second"), 2);
  ASSERT_EQ(SelectModel(&db, &setup, 2, true), 0);
  EXPECT_EQ(setup.Ups.UpsModelName, "Second");
  EXPECT_EQ(ModelNames(db), (TTextList{"First", "garbage", "Second"}));
  EXPECT_EQ(SelectModel(&db, &setup, 1, true), kErrorBadModel);
}

// A database larger than what the load keeps reads as a small one: every
// line counted at once, each found and read later, the last one kept only
// when whole (or ending the file), and a file shortened or removed in
// between never read past.
TEST(ModelDatabase, ALargeFileReadsLikeASmallOne) {
  constexpr size_t kLines = 3000;  // about 700 KB scrambled
  const auto line = [](size_t i) {
    return "Model " + std::to_string(i) + "|" + std::string(100, 'x');
  };
  std::string text;
  for (size_t i = 0; i < kLines; ++i) text += Scramble(line(i)) + "\n";
  const std::string cut = Scramble("Cut|y");
  const struct {
    const char* name;
    std::string text;
    size_t lines;
    std::string after;  // written over the file after the load
    size_t lines_after;
  } kCases[] = {
      {"line feeds", text, kLines, "", kLines},
      {"CR LF",
       [&] {
         std::string crlf;
         for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return crlf;
       }(),
       kLines, "", kLines},
      {"last line without line feed", text + cut, kLines + 1, "", kLines + 1},
      {"shortened after the load", text, kLines, text.substr(0, text.size() / 2), 0},
      {"removed after the load", text, kLines, "-", 0},
  };
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.name);
    TModelTestTree tree;
    tree.Write("bin/upsdb.ups", k.text);
    TUpsDatabase db;
    ASSERT_EQ(LoadUpsDatabase(&db, tree.Path("bin/upsdb.ups")), 0);
    EXPECT_EQ(db.Models.size(), k.lines);
    EXPECT_EQ(db.Models[1], line(1));
    if (k.after == "-") {
      ASSERT_EQ(unlink(tree.Path("bin/upsdb.ups").c_str()), 0);
    } else if (!k.after.empty()) {
      tree.Write("bin/upsdb.ups", k.after);
    }
    const size_t last = kLines - 1;
    if (k.lines_after == 0) {
      // Held lines stay; none past the file's new end is read.
      EXPECT_EQ(FindModel(db, "Model " + std::to_string(last)), -1);
      EXPECT_LT(db.Models.size(), kLines);
      EXPECT_EQ(db.Models[last], "");
      EXPECT_EQ(db.Models[1], line(1));
      EXPECT_EQ(FindModel(db, "Model 2"), 2);
      continue;
    }
    EXPECT_EQ(FindModel(db, "Model " + std::to_string(last)), static_cast<int>(last));
    EXPECT_EQ(db.Models[last], line(last));
    EXPECT_EQ(db.Models.size(), k.lines_after);
    EXPECT_EQ(ModelNames(db).size(), k.lines_after);
    EXPECT_EQ(db.Models[k.lines_after], "");
  }
}

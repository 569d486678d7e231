#include "qscfg/check.h"

#include <gtest/gtest.h>

#include "qscfg/test_probes.h"

namespace {

const char kSound[] =
    "AdrCount=2\nAdr0=master.lan\nAdr1=10.0.0.1\nListenPort=6005\n"
    "ScriptShutdown=/s/shutdown.sh\nScriptMessage=/s/message.sh\n";

// "KEY kind" of every finding, in order.
std::vector<std::string> Found(const std::string& overrides,
                               std::map<std::string, TScriptState> scripts = {}) {
  std::vector<std::string> found;
  const TIniDocument doc = QsDoc(overrides + kSound);
  for (const TFinding& f : CheckQsConfig(doc, FakeProbes({"master.lan"}, scripts)))
    found.push_back(f.key + " " + std::to_string(static_cast<int>(f.kind)) + " " +
                    std::to_string(f.Used));
  return found;
}

std::string One(TFindingKind kind, const std::string& key, int32_t used = 0) {
  return key + " " + std::to_string(static_cast<int>(kind)) + " " + std::to_string(used);
}

TEST(QsCheck, SoundFileHasNoFinding) {
  EXPECT_TRUE(Found("").empty());
}

TEST(QsCheck, EachProblemIsFound) {
  using K = TFindingKind;
  const struct {
    std::string overrides;
    std::vector<std::string> expected;
  } cases[] = {
      {"AdrCount=0\n", {One(K::kNoMaster, "AdrCount")}},
      {"AdrCount=65536\n", {One(K::kCut, "AdrCount"), One(K::kNoMaster, "AdrCount")}},
      {"AdrCount=lots\n", {One(K::kNotANumber, "AdrCount"), One(K::kNoMaster, "AdrCount")}},
      {"AdrCount=1\nAdr0=\n", {One(K::kNoMaster, "AdrCount")}},
      {"Adr0=gone.lan\n", {One(K::kUnresolved, "Adr0")}},
      {"Adr1=a b\n", {One(K::kBadAddress, "Adr1")}},
      {"Adr1=300.1.1.1\n", {One(K::kBadAddress, "Adr1")}},
      {"ListenPort=0\n", {One(K::kPortZero, "ListenPort")}},
      {"ListenPort=65536\n", {One(K::kCut, "ListenPort"), One(K::kPortZero, "ListenPort")}},
      {"ListenPort=port\n", {One(K::kNotANumber, "ListenPort"), One(K::kPortZero, "ListenPort")}},
      {"AliveRetries=259\n", {One(K::kCut, "AliveRetries", 3)}},
      {"AliveFrequency=often\n", {One(K::kNotANumber, "AliveFrequency", 1800)}},
      {"LogEnabled=yes\n", {One(K::kNotANumber, "LogEnabled", 1)}},
      {"LogEnabled=5\n", {}},
      {"ScriptShutdown=\n", {One(K::kEmptyScript, "ScriptShutdown")}},
      {"ScriptMessage=\n", {One(K::kEmptyScript, "ScriptMessage")}},
      {"ScriptCustom_1=\n", {}},
      {"ScriptCustom_2=rel.sh\n", {One(K::kScriptRelative, "ScriptCustom_2")}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, Found(c.overrides)) << c.overrides;
}

// The ranges are those of the editor's own table: a value the editor would
// refuse is reported, one it accepts is not, at both ends.
TEST(QsCheck, ValuesOutsideTheEditorsRanges) {
  const struct {
    std::string line;
    bool reported;
  } cases[] = {
      {"AliveFrequency=-1", true},     {"AliveFrequency=9", true}, {"AliveFrequency=10", false},
      {"AliveTimeOut=0", true},        {"AliveTimeOut=1", false},  {"AliveTimeOut=2147484", true},
      {"AliveRetries=0", true},        {"AliveRetries=1", false},  {"AliveRetries=255", false},
      {"LogMaxSize=-5", true},         {"LogMaxSize=999", true},   {"LogMaxSize=1000", false},
      {"LogMaxSize=2147483001", true}, {"AliveDelay=0", false},    {"AlivePort=65535", false},
      {"AlivePort=0", true},           {"ListenPort=1", false},    {"AliveEnabled=-7", false},
  };
  for (const auto& c : cases) {
    const std::string key = c.line.substr(0, c.line.find('='));
    const std::vector<std::string> found = Found(c.line + "\n");
    const int32_t value = std::stoi(c.line.substr(c.line.find('=') + 1));
    EXPECT_EQ(found, c.reported
                         ? std::vector<std::string>{One(TFindingKind::kOutOfRange, key, value)}
                         : std::vector<std::string>{})
        << c.line;
  }
  // A cut value is reported once, with what it becomes.
  EXPECT_EQ(Found("AliveRetries=256\n"),
            std::vector<std::string>{One(TFindingKind::kCut, "AliveRetries", 0)});
  const TFinding finding = {TFindingKind::kOutOfRange, "AliveFrequency", "-1", -1};
  EXPECT_EQ(FindingText(finding), "\"-1\" is out of range [10 - 2147483647]");
}

TEST(QsCheck, ScriptsTheDaemonCannotStart) {
  const std::vector<std::string> found = Found(
      "ScriptCustom_3=/s/c3.sh\n",
      {{"/s/shutdown.sh", TScriptState::kMissing}, {"/s/c3.sh", TScriptState::kNotExecutable}});
  EXPECT_EQ((std::vector<std::string>{One(TFindingKind::kScriptMissing, "ScriptShutdown"),
                                      One(TFindingKind::kScriptNotExecutable, "ScriptCustom_3")}),
            found);
}

TEST(QsCheck, TextsNameTheValueAndWhatTheDaemonDoes) {
  const struct {
    TFinding finding;
    std::string part;
  } cases[] = {
      {{TFindingKind::kNotANumber, "AliveRetries", "many", 3},
       "\"many\" is not a number; the daemon uses 3"},
      {{TFindingKind::kUnresolved, "Adr0", "gone.lan"}, "\"gone.lan\" does not resolve"},
      {{TFindingKind::kScriptNotExecutable, "ScriptMessage", "/m.sh"},
       "\"/m.sh\" cannot be executed"},
      {{TFindingKind::kPortZero, "ListenPort", ""}, "will not start"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(std::string::npos, FindingText(c.finding).find(c.part)) << FindingText(c.finding);
  }
}

}  // namespace

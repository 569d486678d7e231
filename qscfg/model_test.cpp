#include "qscfg/model.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "qscfg/test_probes.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(QsModel, ReadsWhatTheDaemonTakes) {
  const struct {
    std::string keys;
    std::string key;
    int32_t expected;
  } cases[] = {
      {"", "ListenPort", 0},
      {"ListenPort=65536", "ListenPort", 0},
      {"ListenPort=6005", "ListenPort", 6005},
      {"AliveRetries=259", "AliveRetries", 3},
      {"AliveRetries=word", "AliveRetries", 3},
      {"AlivePort=-1", "AlivePort", 65535},
      {"LogEnabled=0", "LogEnabled", 0},
      {"LogEnabled=7", "LogEnabled", 1},
      {"LogEnabled=yes", "LogEnabled", 1},
      {"AliveFrequency=60", "AliveFrequency", 60},
      {"LogMaxSize=", "LogMaxSize", 10000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    EXPECT_EQ(c.expected, QsNumber(ReadQsConfig(QsDoc(c.keys + "\n")), c.key));
  }
}

TEST(QsModel, MastersSkipEmptyEntriesAndStopAtTheCount) {
  const TQsConfig config =
      ReadQsConfig(QsDoc("AdrCount=3\nAdr0=\nAdr1=a.lan\nAdr2=10.0.0.1\n"
                         "Adr3=beyond\n"));
  EXPECT_EQ((TTextList{"a.lan", "10.0.0.1"}), config.masters);
}

TEST(QsModel, WriteRenumbersMastersAndKeepsUnknownKeys) {
  TIniDocument doc = QsDoc("AdrCount=3\nAdr0=\nAdr1=old.lan\nAdr2=x\nMine=kept\n");
  doc.Set("Other", "k", "v");
  TQsConfig config = ReadQsConfig(doc);
  config.masters = {"new.lan"};
  config.scripts["ScriptShutdown"] = "/s.sh";
  WriteQsConfig(config, &doc);
  EXPECT_EQ("1", *doc.Get("QS System", "AdrCount"));
  EXPECT_EQ("new.lan", *doc.Get("QS System", "Adr0"));
  EXPECT_FALSE(doc.Get("QS System", "Adr1"));
  EXPECT_FALSE(doc.Get("QS System", "Adr2"));
  EXPECT_EQ("kept", *doc.Get("QS System", "Mine"));
  EXPECT_EQ("v", *doc.Get("Other", "k"));
  EXPECT_EQ("/s.sh", *doc.Get("QS System", "ScriptShutdown"));
  EXPECT_EQ("65000", *doc.Get("QS System", "AlivePort"));
}

TEST(QsModel, NoMasterIsWrittenAsTheShippedEmptyEntry) {
  TIniDocument doc = QsDoc("AdrCount=2\nAdr0=a\nAdr1=b\n");
  TQsConfig config = ReadQsConfig(doc);
  config.masters.clear();
  WriteQsConfig(config, &doc);
  EXPECT_EQ("1", *doc.Get("QS System", "AdrCount"));
  EXPECT_EQ("", *doc.Get("QS System", "Adr0"));
  EXPECT_FALSE(doc.Get("QS System", "Adr1"));
}

TEST(QsModel, NewFileHoldsTheDaemonsDefaultsInFileOrder) {
  TIniDocument doc;
  WriteQsConfig(ReadQsConfig(doc), &doc);
  TTextList lines;
  ASSERT_TRUE(doc.SectionLines("QS System", &lines));
  std::string written;
  for (const std::string& line : lines) written += line + " ";
  EXPECT_EQ(written,
            "AdrCount=1 Adr0= ListenPort=0 AliveEnabled=0 AliveFrequency=1800 AliveRetries=3 "
            "AlivePort=65000 AliveTimeOut=5 AliveDelay=1 LogEnabled=1 LogMaxSize=10000000 "
            "ScriptShutdown= ScriptMessage= ScriptCustom_1= ScriptCustom_2= ScriptCustom_3= ");
}

TEST(QsModel, WrittenValuesReadBackUnchanged) {
  TQsConfig config = ReadQsConfig(QsDoc(""));
  config.masters = {"m1", "10.1.2.3"};
  config.numbers["ListenPort"] = 6100;
  config.numbers["AliveRetries"] = 255;
  config.numbers["LogEnabled"] = 0;
  TIniDocument doc;
  WriteQsConfig(config, &doc);
  const TQsConfig back = ReadQsConfig(doc);
  EXPECT_EQ(config.masters, back.masters);
  EXPECT_EQ(config.numbers, back.numbers);
  EXPECT_EQ(config.scripts, back.scripts);
}

TEST(QsModel, ClassifiesAddresses) {
  const struct {
    const char* address;
    TAddressSyntax expected;
  } cases[] = {
      {"192.168.1.10", TAddressSyntax::kDottedIPv4},
      {"0.0.0.0", TAddressSyntax::kDottedIPv4},
      {"256.1.1.1", TAddressSyntax::kInvalid},
      {"1.2.3", TAddressSyntax::kInvalid},
      {"1.2.3.4.5", TAddressSyntax::kInvalid},
      {"1..3.4", TAddressSyntax::kInvalid},
      {"master", TAddressSyntax::kHostName},
      {"ups-1.example.org", TAddressSyntax::kHostName},
      {"1.2.3.a", TAddressSyntax::kHostName},
      {"-bad.lan", TAddressSyntax::kInvalid},
      {"bad-.lan", TAddressSyntax::kInvalid},
      {"two words", TAddressSyntax::kInvalid},
      {"under_score", TAddressSyntax::kInvalid},
      {"trailing.", TAddressSyntax::kInvalid},
      {"", TAddressSyntax::kInvalid},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, ClassifyAddress(c.address)) << c.address;
  EXPECT_EQ(TAddressSyntax::kHostName, ClassifyAddress(std::string(63, 'a') + ".lan"));
  EXPECT_EQ(TAddressSyntax::kInvalid, ClassifyAddress(std::string(64, 'a') + ".lan"));
}

TEST(QsModel, ProbesScriptsAsTheDaemonWouldStartThem) {
  TTempDir dir("qscfg_probe");
  const std::string run = dir.path() + "/run.sh";
  const std::string plain = dir.path() + "/plain.sh";
  ASSERT_TRUE(WriteFile(run, "#!/bin/sh\n", 0700));
  ASSERT_TRUE(WriteFile(plain, "#!/bin/sh\n", 0644));
  const struct {
    std::string path;
    TScriptState expected;
  } cases[] = {
      {"", TScriptState::kEmpty},
      {"script/x.sh", TScriptState::kRelative},
      {run, TScriptState::kExecutable},
      {plain, TScriptState::kNotExecutable},
      {dir.path(), TScriptState::kNotExecutable},
      {dir.path() + "/none.sh", TScriptState::kMissing},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, ProbeScriptPath(c.path)) << c.path;
}

}  // namespace

#include "wkcfg/model/setup.h"

#include <errno.h>
#include <sys/stat.h>

#include "common/ini.h"
#include "common/scramble.h"
#include "gtest/gtest.h"
#include "wkcfg/model/model_test_tree.h"
#include "wkcfg/model/setup_keys.h"

namespace {

// Every field away from its default.
void Populate(TSetupData* s) {
  s->Ups = {"Model X", {3, ""}, true, 600, true, 900, {}, true, 4000, 62.25f, 87.5f, 28800};
  s->Ups.Events.AddEventLine("0|$POPUP,*|$LOG");
  s->Ups.Events.AddEventLine("12|$R_SHUT,10.0.0.2,6005||$SHUTDOWN");
  s->Server = {1,   6000, "USB", "",   9,     false, true, 240,   420,
               900, 1200, "Lab", "p1", "p 2", true,  true, 65001, 12};
  s->LogData = {false, 5000,  false, 6000,  30,   ";",   false, true,  false,
                true,  false, true,  false, true, false, true,  false, true};
  s->Email = {"ups@example.org", "smtp.example.org", 2, true, "admin", "pw", 587};
}

class SetupFile : public ::testing::Test {
 protected:
  SetupFile() { setup.InstallPath = tree.Root(); }
  // Loads "bin/wksrv.cfg" holding `keys` in section "Wattkeep".
  void Load(const std::string& keys) {
    tree.Write("bin/wksrv.cfg", "[Wattkeep]\n" + keys);
    LoadServerSetup(&setup);
  }
  std::string Value(const std::string& name) const {
    return EncodeSetupValue(*FindSetupKey(name), setup);
  }
  // The keys of the saved section, in file order.
  std::string SavedKeys() const {
    TTextList lines;
    ReadIniSection(tree.Path("bin/wksrv.cfg"), "Wattkeep", &lines);
    std::string keys;
    for (const std::string& line : lines) keys += line.substr(0, line.find('=')) + " ";
    return keys;
  }
  std::string Saved(const std::string& key) const {
    return ReadIniValue(tree.Path("bin/wksrv.cfg"), "Wattkeep", key).value_or("(unreadable)");
  }
  TModelTestTree tree;
  TSetupData setup;
};

TEST(SetupKeys, RowsMatchTheirFields) {
  TSetupData defaults;
  for (const TSetupKey& key : SetupKeys()) {
    SCOPED_TRACE(key.name);
    EXPECT_EQ(FindSetupKey(key.name), &key);
    TFieldRef field = key.field(&defaults);
    switch (key.kind) {
      case TKeyKind::kString:
      case TKeyKind::kPassword:
      case TKeyKind::kSeparator:
        EXPECT_TRUE(std::holds_alternative<std::string*>(field));
        break;
      case TKeyKind::kBoolean:
        EXPECT_TRUE(std::holds_alternative<bool*>(field));
        break;
      case TKeyKind::kDecimal:
        EXPECT_TRUE(std::holds_alternative<float*>(field));
        break;
      case TKeyKind::kInteger:
        EXPECT_EQ(key.width == 8, std::holds_alternative<uint8_t*>(field));
        EXPECT_EQ(key.width == 16, std::holds_alternative<uint16_t*>(field));
        EXPECT_EQ(key.width == 32, std::holds_alternative<int32_t*>(field));
        break;
    }
  }
  EXPECT_EQ(SetupKeys().size(), 53u);
}

TEST(SetupKeys, EachRankIsTakenOnceInBothOrders) {
  for (int TSetupKey::*rank : {&TSetupKey::load_rank, &TSetupKey::save_rank}) {
    const std::vector<const TSetupKey*> ordered = RowsInOrder(SetupKeys(), rank);
    for (size_t n = 0; n < ordered.size(); ++n) EXPECT_EQ(ordered[n]->*rank, int(n));
  }
}

TEST_F(SetupFile, NewFileHoldsTheRecordDefaultsInSaveOrder) {
  ASSERT_EQ(SaveServerSetup(setup, true), 0);
  TTextList lines;
  ReadIniSection(tree.Path("bin/wksrv.cfg"), "Wattkeep", &lines);
  std::string saved;
  for (const std::string& line : lines) saved += line + " ";
  EXPECT_EQ(saved,
            "UpsModelName= UpsRechargeTime=-1 SrvLocation= UpsDevice= UpsNetCardAddress= "
            "SrvListenPort=5769 SrvBroadcast=60 SrvMainPassword= SrvMonitorPassword= "
            "SrvAsService=0 SrvDownEnabled=1 UpsSmartAutonomy=0 SrvDownFromMonitor=0 "
            "UpsOffEnabled=0 UpsOffDelay=180 UpsOnEnabled=0 UpsOnDelay=60 LogEnabled=1 "
            "LogMaxSize=2147483647 DataEnabled=1 DataMaxSize=2147483647 DataRate=300 "
            "EmailSender= EmailServer= EmailPort=25 EmailEncryption=0 EmailUseAuth=0 "
            "EmailLogin= EmailPassword= SrvDownWarningTime=300 SrvPollingUps=5 "
            "QsAliveEnabled=0 QsAlivePort=65000 QsTimeoutConnection=5 UpsAutonomyTime=300 "
            "UpsLoadPercent=-1 UpsBatteryCapacity=100 SrvDownTime=180 UpsFixedTime=300 "
            "UpsManType=0 DataSeparator=, DataReadVinPhaseR=1 DataReadVinPhaseS=1 "
            "DataReadVinPhaseT=1 DataReadVoutPhaseR=1 DataReadVoutPhaseS=1 "
            "DataReadVoutPhaseT=1 DataReadPoutPhaseR=1 DataReadPoutPhaseS=1 "
            "DataReadPoutPhaseT=1 DataReadVbatt=1 DataReadBattChg=1 DataReadAutTime=1 "
            "EventCounter=0 ");
}

TEST_F(SetupFile, MissingFileGivesEveryDefault) {
  Populate(&setup);
  setup.Ups.Protocol.ProtocolId = 7;
  setup.Ups.Protocol.ProtocolText = "x";
  LoadServerSetup(&setup);
  for (const TSetupKey& key : SetupKeys()) EXPECT_EQ(Value(key.name), DefaultText(key)) << key.name;
  EXPECT_EQ(setup.Ups.Protocol.ProtocolId, 0);
  EXPECT_EQ(setup.Ups.Protocol.ProtocolText, "");
  EXPECT_EQ(setup.Ups.Events.Count(), 0);
}

TEST_F(SetupFile, ValuesAreDecodedAndWrittenBackInTheFileEncoding) {
  struct Case {
    const char* line;
    const char* key;
    const char* value;  // as written back
  };
  const Case cases[] = {
      {"SrvListenPort=70000", "SrvListenPort", "4464"},
      {"SrvPollingUps=300", "SrvPollingUps", "44"},
      {"UpsOffDelay=-1", "UpsOffDelay", "65535"},
      {"SrvListenPort=port", "SrvListenPort", "5769"},
      {"SrvDownWarningTime=30", "SrvDownWarningTime", "60"},
      {"SrvDownWarningTime=-5", "SrvDownWarningTime", "60"},
      {"SrvDownWarningTime=61", "SrvDownWarningTime", "61"},
      {"UpsOffEnabled=5", "UpsOffEnabled", "1"},
      {"SrvDownEnabled=0", "SrvDownEnabled", "0"},
      {"SrvDownEnabled=yes", "SrvDownEnabled", "1"},
      {"UpsLoadPercent=87.50", "UpsLoadPercent", "87.5"},
      {"UpsLoadPercent=12.34567", "UpsLoadPercent", "12.3457"},
      {"UpsLoadPercent=-0.5", "UpsLoadPercent", "-0.5"},
      {"UpsLoadPercent=abc", "UpsLoadPercent", "-1"},
      {"UpsLoadPercent=1e3", "UpsLoadPercent", "-1"},
      {"UpsBatteryCapacity=99.", "UpsBatteryCapacity", "99"},
      {"UpsBatteryCapacity=1234567890", "UpsBatteryCapacity", "100"},
      {"DataSeparator=;:", "DataSeparator", ";"},
      {"DataSeparator=", "DataSeparator", ""},
      {"SrvLocation=  Room 4  ", "SrvLocation", "Room 4"},
      {"LogMaxSize=2147483648", "LogMaxSize", "2147483647"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Load(std::string(c.line) + "\n");
    EXPECT_EQ(Value(c.key), c.value);
    ASSERT_EQ(SaveServerSetup(setup, true), 0);
    EXPECT_EQ(Saved(c.key), c.value);
  }
}

TEST_F(SetupFile, PasswordsAreScrambledInTheFileOnly) {
  Load("SrvMainPassword=" + Scramble("secret") + "\nEmailPassword=" + Scramble("m@il") + "\n");
  EXPECT_EQ(setup.Server.SrvMainPassword, "secret");
  EXPECT_EQ(setup.Email.EmailPassword, "m@il");
  setup.Server.SrvMonitorPassword = "mon";
  ASSERT_EQ(SaveServerSetup(setup, true), 0);
  EXPECT_EQ(Saved("SrvMonitorPassword"), Scramble("mon"));
  EXPECT_EQ(Saved("SrvMainPassword"), Scramble("secret"));
}

TEST_F(SetupFile, EventCountIsEightBitsAndGapsAddNothing) {
  Load("EventCounter=3\nEvent0=1|$LOG\nEvent2=2|$POPUP,*\n");
  ASSERT_EQ(setup.Ups.Events.Count(), 2);
  EXPECT_EQ(setup.Ups.Events.EventLine(1), "2|$POPUP,*");
  Load("EventCounter=257\nEvent0=1|$LOG\nEvent1=2|$LOG\n");
  ASSERT_EQ(setup.Ups.Events.Count(), 1);
  EXPECT_EQ(setup.Ups.Events.EventLine(0), "1|$LOG");
}

TEST_F(SetupFile, NewFileHoldsTheKeysInSaveOrder) {
  setup.Ups.Events.AddEventLine("1|$LOG");
  ASSERT_EQ(SaveServerSetup(setup, true), 0);
  EXPECT_EQ(SavedKeys(),
            "UpsModelName UpsRechargeTime SrvLocation UpsDevice UpsNetCardAddress SrvListenPort "
            "SrvBroadcast SrvMainPassword SrvMonitorPassword SrvAsService SrvDownEnabled "
            "UpsSmartAutonomy SrvDownFromMonitor UpsOffEnabled UpsOffDelay UpsOnEnabled "
            "UpsOnDelay LogEnabled LogMaxSize DataEnabled DataMaxSize DataRate EmailSender "
            "EmailServer EmailPort EmailEncryption EmailUseAuth EmailLogin EmailPassword "
            "SrvDownWarningTime SrvPollingUps QsAliveEnabled QsAlivePort QsTimeoutConnection "
            "UpsAutonomyTime UpsLoadPercent UpsBatteryCapacity SrvDownTime UpsFixedTime "
            "UpsManType DataSeparator DataReadVinPhaseR DataReadVinPhaseS DataReadVinPhaseT "
            "DataReadVoutPhaseR DataReadVoutPhaseS DataReadVoutPhaseT DataReadPoutPhaseR "
            "DataReadPoutPhaseS DataReadPoutPhaseT DataReadVbatt DataReadBattChg "
            "DataReadAutTime EventCounter Event0 ");
}

TEST_F(SetupFile, LoadingFromAPathTellsWhetherTheFileWasThere) {
  tree.Write("elsewhere.cfg", "[Wattkeep]\nEventCounter=1\nEvent0=3|$LOG\nSrvListenPort=9\n");
  EXPECT_EQ(LoadServerSetupFile(tree.Path("elsewhere.cfg"), &setup), 0);
  EXPECT_EQ(setup.Ups.Events.EventLine(0), "3|$LOG");
  EXPECT_EQ(setup.Server.SrvListenPort, 9);
  EXPECT_EQ(LoadServerSetupFile(tree.Path("missing.cfg"), &setup), ENOENT);
  EXPECT_EQ(setup.Ups.Events.Count(), 0);
  EXPECT_EQ(setup.Server.SrvListenPort, 5769);
}

TEST_F(SetupFile, ExistingKeysKeepTheirPlaceAndForeignContentStays) {
  tree.Write("bin/wksrv.cfg",
             "; comment\n[Other]\nx=1\n[Wattkeep]\nWksrvOwn=7\nDataRate=10\nEventCounter=4\n"
             "Event0=1\nEvent1=2\nEvent2=3\nEvent3=4\nEvent7=8\nUpsModelName=M\n");
  LoadServerSetup(&setup);
  ASSERT_EQ(setup.Ups.Events.Count(), 4);
  setup.Ups.Events.ClearEvents();
  setup.Ups.Events.AddEventLine("5|$LOG");
  ASSERT_EQ(SaveServerSetup(setup, true), 0);
  std::string keys = SavedKeys();
  EXPECT_EQ(keys.substr(0, 60), "WksrvOwn DataRate EventCounter Event7 UpsModelName UpsRechar");
  EXPECT_EQ(keys.substr(keys.size() - 23), "DataReadAutTime Event0 ");
  EXPECT_EQ(Saved("Event0"), "5|$LOG");
  EXPECT_EQ(Saved("Event1"), "");
  EXPECT_EQ(Saved("Event3"), "");
  EXPECT_EQ(Saved("EventCounter"), "1");
  EXPECT_EQ(ReadIniValue(tree.Path("bin/wksrv.cfg"), "Other", "x").value_or("?"), "1");
}

TEST_F(SetupFile, AutonomyKeysStayAsTheRunningServerWroteThem) {
  Load("UpsAutonomyTime=1234\nUpsLoadPercent=55.5\n");
  setup.Ups.UpsAutonomyTime = 9;
  setup.Ups.UpsBatteryCapacity = 50;
  ASSERT_EQ(SaveServerSetup(setup, false), 0);
  EXPECT_EQ(Saved("UpsAutonomyTime"), "1234");
  EXPECT_EQ(Saved("UpsLoadPercent"), "55.5");
  EXPECT_EQ(SavedKeys().find("UpsBatteryCapacity"), std::string::npos);
  ASSERT_EQ(SaveServerSetup(setup, true), 0);
  EXPECT_EQ(Saved("UpsAutonomyTime"), "9");
  EXPECT_EQ(Saved("UpsBatteryCapacity"), "50");
}

TEST_F(SetupFile, FullyPopulatedRecordSurvivesSaveAndLoad) {
  TSetupData& s = setup;
  Populate(&s);
  ASSERT_EQ(SaveServerSetup(s, true), 0);
  TSetupData loaded;
  loaded.InstallPath = tree.Root();
  LoadServerSetup(&loaded);
  for (const TSetupKey& key : SetupKeys()) {
    EXPECT_EQ(EncodeSetupValue(key, loaded), EncodeSetupValue(key, s)) << key.name;
  }
  EXPECT_EQ(loaded.Ups.Events.Lists(), s.Ups.Events.Lists());
  EXPECT_EQ(loaded.Ups.UpsLoadPercent, 62.25f);
}

TEST_F(SetupFile, TextsAreWrittenAsTheyReadBack) {
  setup.Server.SrvLocation = " Hall\n2 \r";
  setup.Server.UpsNetCardAddress = "10.1.1.1";
  ASSERT_EQ(SaveServerSetup(setup, true), 0);
  EXPECT_EQ(Saved("SrvLocation"), "Hall2");
  EXPECT_EQ(Saved("UpsNetCardAddress"), "");
  EXPECT_EQ(Saved("SrvAsService"), "0");
}

TEST_F(SetupFile, FailedSaveReportsTheErrorAndKeepsTheFile) {
  setup.InstallPath = tree.Path("missing/");
  EXPECT_EQ(SaveServerSetup(setup, true), ENOENT);
  setup.InstallPath = tree.Root();
  ASSERT_EQ(mkdir(tree.Path("bin/wksrv.cfg").c_str(), 0755), 0);
  EXPECT_EQ(SaveServerSetup(setup, true), EISDIR);
}

TEST(ResetAutonomyData, SetsTheThreeTestValuesOnly) {
  TSetupData setup;
  Populate(&setup);
  ResetAutonomyData(&setup);
  EXPECT_EQ(setup.Ups.UpsAutonomyTime, 300);
  EXPECT_EQ(setup.Ups.UpsLoadPercent, -1);
  EXPECT_EQ(setup.Ups.UpsBatteryCapacity, 100);
  EXPECT_EQ(setup.Ups.UpsRechargeTime, 28800);
  EXPECT_EQ(setup.Ups.UpsModelName, "Model X");
}

}  // namespace

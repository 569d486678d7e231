#include "qslx/setup.h"

#include <sys/stat.h>
#include <unistd.h>

#include "gtest/gtest.h"
#include "tests/support/test_tree.h"

namespace {

const char kLanguage[] = "[QSSRV]\nLogStart=Started\n";

class SetupTest : public ::testing::Test {
 protected:
  SetupTest() { tree.Write("languages/english.lng", kLanguage); }
  // Writes "bin/qslx.cfg" with the section header and `keys`, then loads.
  // The first of two equal keys counts, so overrides go first.
  bool Load(const std::string& keys) {
    tree.Write("bin/qslx.cfg", "[QS System]\n" + keys);
    return LoadQsSetup(tree.Path("bin/"), &setup);
  }
  static std::string Minimal() {
    return "AdrCount=1\nAdr0=localhost\nListenPort=6005\nScriptShutdown=/x/shutdown.sh\n"
           "ScriptMessage=/x/message.sh\n";
  }
  TTestTree tree;
  TQsSetupData setup;
};

TEST_F(SetupTest, EveryKeyIsRead) {
  ASSERT_TRUE(
      Load("AdrCount=2\nAdr0=localhost\nAdr1=10.0.0.9\nListenPort=6006\nAliveEnabled=1\n"
           "AliveFrequency=60\nAliveRetries=4\nAlivePort=65001\nAliveTimeOut=7\nAliveDelay=3\n"
           "ScriptShutdown=/a\nScriptMessage=/b\nScriptCustom_1=/c\nScriptCustom_2=/d\n"
           "ScriptCustom_3=/e\nLogEnabled=0\nLogMaxSize=500\n"));
  EXPECT_EQ(tree.root(), setup.InstallPath);
  EXPECT_EQ(tree.Path("languages/english.lng"), setup.LanguageFile);
  EXPECT_EQ((TTextList{"localhost", "10.0.0.9"}), setup.Addresses);
  EXPECT_EQ(6006, setup.ListenPort);
  EXPECT_TRUE(setup.Alive.Enabled);
  EXPECT_EQ(60, setup.Alive.Frequency);
  EXPECT_EQ(4, setup.Alive.Retries);
  EXPECT_EQ(65001, setup.Alive.Port);
  EXPECT_EQ(7, setup.Alive.TimeOut);
  EXPECT_EQ(3, setup.Alive.Delay);
  EXPECT_EQ(tree.Path("script/system/chkfail.sh"), setup.Alive.Script);
  EXPECT_EQ("/a", setup.ScriptShutdown);
  EXPECT_EQ("/b", setup.ScriptMessage);
  EXPECT_EQ("/c", setup.ScriptCustom_1);
  EXPECT_EQ("/d", setup.ScriptCustom_2);
  EXPECT_EQ("/e", setup.ScriptCustom_3);
  EXPECT_FALSE(setup.LogEnabled);
  EXPECT_EQ(500, setup.LogMaxSize);
}

TEST_F(SetupTest, MissingKeysGiveTheirDefaults) {
  ASSERT_TRUE(Load("AliveFrequency=often\nLogEnabled=yes\n" + Minimal()));
  EXPECT_FALSE(setup.Alive.Enabled);
  EXPECT_EQ(1800, setup.Alive.Frequency);
  EXPECT_EQ(3, setup.Alive.Retries);
  EXPECT_EQ(65000, setup.Alive.Port);
  EXPECT_EQ(5, setup.Alive.TimeOut);
  EXPECT_EQ(1, setup.Alive.Delay);
  EXPECT_EQ("", setup.ScriptCustom_1);
  EXPECT_TRUE(setup.LogEnabled);
  EXPECT_EQ(10000000, setup.LogMaxSize);
}

TEST_F(SetupTest, EmptyAddressesAreSkippedWithoutGaps) {
  ASSERT_TRUE(Load("AdrCount=3\nAdr0=\nAdr1=master\nAdr2=\n" + Minimal()));
  EXPECT_EQ((TTextList{"master"}), setup.Addresses);

  ASSERT_TRUE(Load("AdrCount=1\nListenPort=1\nScriptShutdown=/a\nScriptMessage=/b\n"));
  EXPECT_TRUE(setup.Addresses.empty());
}

TEST_F(SetupTest, CountAndPortMustBeNonZeroInTheirLowBits) {
  EXPECT_FALSE(Load("AdrCount=0\n" + Minimal()));
  EXPECT_FALSE(Load("AdrCount=65536\n" + Minimal()));
  EXPECT_FALSE(Load("AdrCount=many\n" + Minimal()));
  EXPECT_FALSE(Load("Adr0=x\nListenPort=6005\nScriptShutdown=/a\nScriptMessage=/b\n"));
  EXPECT_FALSE(Load("ListenPort=0\n" + Minimal()));
  EXPECT_FALSE(Load("ListenPort=65536\n" + Minimal()));
  EXPECT_FALSE(Load("AdrCount=1\nScriptShutdown=/a\nScriptMessage=/b\n"));
  ASSERT_TRUE(Load("ListenPort=65537\n" + Minimal()));
  EXPECT_EQ(1, setup.ListenPort);
  ASSERT_TRUE(Load("AdrCount=65537\n" + Minimal()));
  EXPECT_EQ((TTextList{"localhost"}), setup.Addresses);
}

TEST_F(SetupTest, NarrowFieldsKeepTheLowBits) {
  ASSERT_TRUE(Load("AliveRetries=259\nAlivePort=65536\nAliveDelay=-1\n" + Minimal()));
  EXPECT_EQ(3, setup.Alive.Retries);
  EXPECT_EQ(0, setup.Alive.Port);
  EXPECT_EQ(65535, setup.Alive.Delay);
  ASSERT_TRUE(Load("AliveRetries=0\n" + Minimal()));
  EXPECT_EQ(0, setup.Alive.Retries);
}

TEST_F(SetupTest, ShutdownAndMessageScriptsAreRequired) {
  EXPECT_FALSE(Load("AdrCount=1\nListenPort=6005\nScriptMessage=/b\n"));
  EXPECT_FALSE(Load("AdrCount=1\nListenPort=6005\nScriptShutdown=/a\nScriptMessage=\n"));
  ASSERT_TRUE(Load("ScriptShutdown=bin/relative.sh\n" + Minimal()));
  EXPECT_EQ("bin/relative.sh", setup.ScriptShutdown);
}

TEST_F(SetupTest, SuiteSettingsMustNameInstallationAndLanguage) {
  tree.Write("bin/voltmon.cfg", "[Globals]\nLanguageFile=english.lng\n");
  EXPECT_FALSE(Load(Minimal()));
  tree.Write("bin/voltmon.cfg",
             "[Globals]\nInstallPath=" + tree.root() + "\nLanguageFile=klingon.lng\n");
  EXPECT_FALSE(Load(Minimal()));
  EXPECT_TRUE(setup.LanguageFile.empty());
}

TEST_F(SetupTest, UnreadableConfigurationFails) {
  EXPECT_FALSE(LoadQsSetup(tree.Path("bin/"), &setup));
}

// A pipe or a device in the configuration's place fails the start at once,
// as an unreadable file does: no wait for a writer, no end-less read.
TEST_F(SetupTest, PipeOrDeviceAsConfigurationFailsAtOnce) {
  const std::string path = tree.Path("bin/qslx.cfg");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_FALSE(LoadQsSetup(tree.Path("bin/"), &setup));
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0);
  EXPECT_FALSE(LoadQsSetup(tree.Path("bin/"), &setup));
}

TEST(SetupKeys, ValuesAreCutToTheFieldWidth) {
  const struct {
    const char* key;
    int32_t read;
    int32_t kept;
  } cases[] = {
      {"ListenPort", 65536, 0},   {"ListenPort", 65535, 65535}, {"AlivePort", -1, 65535},
      {"AliveRetries", 259, 3},   {"AliveRetries", 255, 255},   {"AliveDelay", 70000, 4464},
      {"AliveFrequency", -5, -5}, {"LogEnabled", -3, 1},        {"AliveEnabled", 0, 0},
  };
  for (const auto& c : cases) {
    const TQsNumberKey* key = FindQsNumberKey(c.key);
    ASSERT_NE(nullptr, key) << c.key;
    EXPECT_EQ(c.kept, NarrowQsValue(*key, c.read)) << c.key << " " << c.read;
  }
  EXPECT_EQ(nullptr, FindQsNumberKey("AdrCount"));
}

TEST(SetupKeys, EveryDefaultIsWithinTheEditorsRangeButThePort) {
  for (const TQsNumberKey& key : QsNumberKeys()) {
    if (std::string(key.name) == "ListenPort" || key.kind == TKeyKind::kBoolean) continue;
    EXPECT_GE(QsDefault(key), int64_t{key.minimum} * key.scale) << key.name;
    EXPECT_LE(QsDefault(key), int64_t{key.maximum} * key.scale) << key.name;
  }
}

TEST(SetupKeys, RowsMatchTheirFieldsAndRanksAreInFileOrder) {
  TQsSetupData setup;
  for (size_t n = 0; n < QsKeys().size(); ++n) {
    const TQsKey& key = QsKeys()[n];
    SCOPED_TRACE(key.name);
    const TFieldRef field = key.field(&setup);
    EXPECT_EQ(key.kind == TKeyKind::kString, std::holds_alternative<std::string*>(field));
    EXPECT_EQ(key.kind == TKeyKind::kBoolean, std::holds_alternative<bool*>(field));
    EXPECT_EQ(key.width == 8, std::holds_alternative<uint8_t*>(field));
    EXPECT_EQ(key.width == 16, std::holds_alternative<uint16_t*>(field));
    EXPECT_EQ(key.width == 32, std::holds_alternative<int32_t*>(field));
    EXPECT_EQ(key.load_rank, int(n));
    EXPECT_EQ(key.save_rank, int(n));
    EXPECT_EQ(key.store, TKeyStore::kValue);
  }
  for (const TQsNumberKey& key : QsNumberKeys()) EXPECT_EQ(FindQsNumberKey(key.name), &key);
  EXPECT_EQ(QsNumberKeys().size(), 9u);
  EXPECT_EQ(nullptr, FindQsNumberKey("ScriptShutdown"));
  EXPECT_EQ((std::vector<std::string>{"ScriptShutdown", "ScriptMessage", "ScriptCustom_1",
                                      "ScriptCustom_2", "ScriptCustom_3"}),
            QsScriptKeys());
}

}  // namespace

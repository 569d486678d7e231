#include "wksrv/master_settings.h"

#include <gtest/gtest.h>

#include "common/scramble.h"
#include "tests/support/temp_dir.h"

namespace {

struct TMasterCase {
  const char* name;
  std::string file;  // the whole "bin/wksrv.cfg"; "-" for no file
  TMasterSettings expected;
};

TMasterSettings Settings(const std::string& ups, const std::string& user,
                         const std::string& password, const std::string& command) {
  TMasterSettings s;
  s.NutUps = ups;
  s.NutUser = user;
  s.NutPassword = password;
  s.ShutdownCommand = command;
  return s;
}

TEST(MasterSettings, KeysDefaultsAndTheScrambledPassword) {
  const TMasterSettings defaults;
  EXPECT_EQ(defaults.NutUps, "ups@localhost");
  EXPECT_EQ(defaults.ShutdownCommand, "/sbin/shutdown -h now");
  const std::string console_section = "[Wattkeep]\nNutUps=wrong@place\nEventCounter=0\n";
  const TMasterCase cases[] = {
      {"no file", "-", defaults},
      {"only the console's section", console_section, defaults},
      {"every key",
       console_section + "[Master]\nNutUps = dummy@127.0.0.1:3493\nNutUser=mon\nNutPassword=" +
           Scramble("s3cr=t x") + "\nShutdownCommand=/usr/local/bin/rec a b\n",
       Settings("dummy@127.0.0.1:3493", "mon", "s3cr=t x", "/usr/local/bin/rec a b")},
      {"section and keys in other letter case", "[master]\nnutups=other\nnutuser=u\n",
       Settings("other", "u", "", defaults.ShutdownCommand)},
      {"blank UPS and command keep the defaults",
       "[Master]\nNutUps=  \nShutdownCommand=\nNutUser=\n", defaults},
  };
  for (const TMasterCase& c : cases) {
    TTempDir dir("wksrv_master");
    const std::string path = dir.Sub("wksrv.cfg");
    if (c.file != "-") {
      ASSERT_TRUE(WriteFile(path, c.file));
    }
    TMasterSettings got;
    LoadMasterSettings(path, &got);
    EXPECT_EQ(got.NutUps, c.expected.NutUps) << c.name;
    EXPECT_EQ(got.NutUser, c.expected.NutUser) << c.name;
    EXPECT_EQ(got.NutPassword, c.expected.NutPassword) << c.name;
    EXPECT_EQ(got.ShutdownCommand, c.expected.ShutdownCommand) << c.name;
  }
}

TEST(MasterSettings, OnlyWellFormedUpsNamesGoToNut) {
  for (const char* good : {"ups", "ups@localhost", "dummy@127.0.0.1:3493", "ups@[::1]:3493"}) {
    EXPECT_TRUE(NutUpsWellFormed(good)) << good;
  }
  for (const char* bad : {"", "@", "@host", "ups@", "ups@:3493", "a@b@c", "my ups@host"}) {
    EXPECT_FALSE(NutUpsWellFormed(bad)) << bad;
  }
}

}  // namespace

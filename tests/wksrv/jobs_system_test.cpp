// The master server's jobs against real receivers: qslx slaves, NUT's upsd,
// a /dev/log socket and a mail server; and its alive answer to a real qslx.

#include <algorithm>

#include "common/clock.h"
#include "common/scramble.h"
#include "tests/support/login_session.h"
#include "tests/support/smtp_fixture.h"
#include "tests/support/syslog_sink.h"
#include "tests/wksrv/wksrv_fixture.h"

namespace {

using JobsTest = WksrvTest;
using Lines = std::vector<std::string>;

TEST_F(JobsTest, MainsFailureMessagesTheLiveSlavesAtOnceBesideASilentOne) {
  const int bound_s = 5 * kSlowdown;
  SetEntry(&wattkeep_, "QsTimeoutConnection", std::to_string(bound_s));
  int silent = StartSilentSlave(6005);
  ASSERT_GE(silent, 0);
  TSlaveDaemon* first = StartSlave(6006);
  TSlaveDaemon* second = StartSlave(6007);
  // The silent slave first: one after the other, the live ones would wait
  // out its connection bound.
  OnEvent(0, {RemoteJob("$R_MSG", 6005), RemoteJob("$R_MSG", 6006), RemoteJob("$R_MSG", 6007)});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  const int64_t outage = NowMs();
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  ASSERT_TRUE(WaitUntil(
      [&] {
        return first->tree().Runs("message.sh").size() == 1 &&
               second->tree().Runs("message.sh").size() == 1;
      },
      10000));
  // Within the bound, with a poll of a second to spare.
  EXPECT_LT(NowMs() - outage, bound_s * 1000);
  EXPECT_TRUE(ConnectionWaiting(silent)) << "the silent slave was never called";
  for (TSlaveDaemon* slave : {first, second}) {
    TScriptRun run = slave->tree().Runs("message.sh")[0];
    EXPECT_EQ(run.args, Lines{"\"" + EventTag(0) + "\""});
    // The slave logs the order after starting its script.
    Lines texts;
    EXPECT_TRUE(WaitUntil(
        [&] {
          texts = slave->LogTexts();
          return std::count(texts.begin(), texts.end(), "MESSAGE by 127.0.0.1") == 1;
        },
        3000))
        << ::testing::PrintToString(texts);
  }
}

TEST_F(JobsTest, EachCustomScriptJobRunsItsScriptOnTheSlave) {
  TSlaveDaemon* slave = StartSlave(6005);
  OnEvent(0, {RemoteJob("$R_SHELL_3", 6005), RemoteJob("$R_SHELL_1", 6005),
              RemoteJob("$R_SHELL_2", 6005)});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  for (const char* script : {"custom1.sh", "custom2.sh", "custom3.sh"}) {
    EXPECT_TRUE(WaitUntil([&] { return slave->tree().Runs(script).size() == 1; }, kReactMs))
        << script;
  }
  EXPECT_TRUE(slave->tree().Runs("shutdown.sh").empty());
  EXPECT_TRUE(slave->tree().Runs("message.sh").empty());
}

TEST_F(JobsTest, BatteryLowOrdersTheSlavesDownBeforeItsOwnShutdown) {
  TSlaveDaemon* first = StartSlave(6005);
  TSlaveDaemon* second = StartSlave(6006);
  // The master's shutdown command counts the orders its own log reports
  // accepted (greeted, request written) when it starts. The slaves' own log
  // lines follow on their time, after their scripts have started, so they
  // cannot tell which came first.
  const std::string seen = root_ + "seen.rec";
  const std::string command = root_ + "script/count-orders.sh";
  ASSERT_TRUE(WriteFile(command,
                        "#!/bin/sh\nn=$(grep -c ': accepted$' '" + root_ +
                            "data/wk_log.txt')\necho \"$n\" >> '" + seen + "'\n",
                        0755));
  SetEntry(&master_, "ShutdownCommand", command);
  OnEvent(2, {RemoteJob("$R_SHUT", 6005), RemoteJob("$R_SHUT", 6006), "$SHUTDOWN"});
  OnEvent(12, {"$LOG"});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB LB"));
  ASSERT_TRUE(WaitUntil([&] { return !ReadFile(seen).empty(); }, 10000))
      << ::testing::PrintToString(LogTexts());
  EXPECT_EQ(ReadFile(seen), "2\n");
  for (TSlaveDaemon* slave : {first, second}) {
    EXPECT_TRUE(WaitUntil([&] { return slave->tree().Runs("shutdown.sh").size() == 1; }, 3000));
  }
  EXPECT_TRUE(WaitForEventLogged(12));
}

TEST_F(JobsTest, TheShutdownAsksTheUpsThroughNutToSwitchOffAndBackOn) {
  SetEntry(&wattkeep_, "UpsOffEnabled", "1");
  SetEntry(&wattkeep_, "UpsOffDelay", "120");
  SetEntry(&wattkeep_, "UpsOnEnabled", "1");
  SetEntry(&wattkeep_, "UpsOnDelay", "45");
  OnEvent(2, {"$SHUTDOWN"});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB LB"));
  // NUT's dummy UPS has no shutdown.return: the refusal must not stop the
  // shutdown.
  ASSERT_TRUE(WaitUntil([&] { return !ReadScriptRuns(root_ + "shutdown.rec").empty(); }, 10000))
      << ::testing::PrintToString(LogTexts());
  EXPECT_EQ(ReadScriptRuns(root_ + "shutdown.rec")[0].args, (Lines{"-h", "now"}));
  // upsd takes a value at once and shows it when the driver has echoed it.
  EXPECT_TRUE(WaitUntil([&] { return nut_->ReadVar("ups.delay.shutdown") == "120"; }, 3000))
      << ::testing::PrintToString(LogTexts()) << nut_->ServerLog();
  EXPECT_TRUE(WaitUntil([&] { return nut_->ReadVar("ups.delay.start") == "45"; }, 3000));
  // The refusal is logged.
  Lines texts = LogTexts();
  EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& text) {
    return text.find("shutdown.return") != std::string::npos;
  })) << ::testing::PrintToString(texts);
}

TEST_F(JobsTest, NoJobButLoggingRunsAfterTheOwnShutdown) {
  TSlaveDaemon* slave = StartSlave(6005);
  OnEvent(2, {"$SHUTDOWN"});
  OnEvent(1, {RemoteJob("$R_MSG", 6005), "$LOG"});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB LB"));
  ASSERT_TRUE(WaitUntil([&] { return !ReadScriptRuns(root_ + "shutdown.rec").empty(); }, 10000));
  ASSERT_NO_FATAL_FAILURE(SetStatus("OL"));
  ASSERT_TRUE(WaitForEventLogged(1));
  EXPECT_TRUE(slave->tree().Runs("message.sh").empty());
}

TEST_F(JobsTest, SystemLogLineUnderIdentWksrvFacilityDaemon) {
  TSyslogSink sink(temp_->path());
  std::string error;
  ASSERT_TRUE(sink.Start(&error)) << error;
  OnEvent(0, {"$MSLOG"});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  ASSERT_TRUE(sink.WaitForLine("wksrv", EventTag(0), kReactMs));
  for (const TSyslogLine& line : sink.Lines()) {
    if (line.text.find(EventTag(0)) == std::string::npos) continue;
    EXPECT_EQ(line.facility, 3) << line.raw;  // daemon
  }
}

TEST_F(JobsTest, PopupReachesTheTerminalOfALoggedInUser) {
  TLoginSession session(temp_->path());
  std::string error;
  ASSERT_TRUE(session.Start("alice", &error)) << error;
  OnEvent(0, {"$POPUP,*"});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  EXPECT_TRUE(WaitUntil([&] { return session.Received().find(EventTag(0)) != std::string::npos; },
                        kReactMs))
      << session.Received();
}

TEST_F(JobsTest, LocalScriptRunsOnceAndIsReaped) {
  const std::string record = root_ + "local.rec";
  const std::string script = root_ + "script/local.sh";
  ASSERT_TRUE(TDaemonTree::WriteRecorder(script, record));
  OnEvent(0, {"$L_SHELL," + script});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  const pid_t server = Servers()[0];
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  ASSERT_TRUE(WaitUntil([&] { return ReadScriptRuns(record).size() == 1; }, kReactMs));
  // Nothing of the script is left behind, not even a zombie.
  EXPECT_TRUE(WaitUntil([&] { return ChildrenOf(server).empty(); }, 3000))
      << ChildrenOf(server).size() << " children left";
  EXPECT_EQ(ReadScriptRuns(record).size(), 1u);
}

TEST_F(JobsTest, DataLinesCarryTheChosenReadingsEveryRate) {
  SetEntry(&wattkeep_, "DataEnabled", "1");
  SetEntry(&wattkeep_, "DataRate", "1");
  SetEntry(&wattkeep_, "DataSeparator", ";");
  // Input voltage (R), input voltage of phase S, which the UPS lacks, the
  // charge and the runtime; every other value off.
  for (const char* flag :
       {"DataReadVoutPhaseR", "DataReadPoutPhaseR", "DataReadVoutPhaseS", "DataReadPoutPhaseS",
        "DataReadVinPhaseT", "DataReadVoutPhaseT", "DataReadPoutPhaseT", "DataReadVbatt"}) {
    SetEntry(&wattkeep_, flag, "0");
  }
  for (const char* flag :
       {"DataReadVinPhaseR", "DataReadVinPhaseS", "DataReadBattChg", "DataReadAutTime"}) {
    SetEntry(&wattkeep_, flag, "1");
  }
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  auto lines_ending = [&](const std::string& values) {
    std::vector<std::string> found;
    for (const std::string& line : LinesOf(ReadFile(root_ + "data/wk_data.txt"))) {
      if (line.size() >= values.size() &&
          line.compare(line.size() - values.size(), values.size(), values) == 0) {
        found.push_back(line);
      }
    }
    return found;
  };
  ASSERT_TRUE(WaitUntil([&] { return lines_ending(";230;;100;1800").size() >= 2; }, kReactMs))
      << ReadFile(root_ + "data/wk_data.txt");
  std::string line = lines_ending(";230;;100;1800")[0];
  // "dd/MM/yyyy" first.
  ASSERT_GE(line.size(), 10u);
  EXPECT_TRUE(line[2] == '/' && line[5] == '/') << line;
  std::string error;
  ASSERT_TRUE(nut_->SetVar("battery.charge", "55", &error)) << error;
  EXPECT_TRUE(WaitUntil([&] { return !lines_ending(";230;;55;1800").empty(); }, kReactMs))
      << ReadFile(root_ + "data/wk_data.txt");
}

class EmailTest : public WksrvTest {
 protected:
  // Starts a mail server of `security` on 2525 (with `login` when not
  // empty), has the master mail event 0 through it, cuts the power and waits
  // for the mail. Without `trusted` the server's certificate is not among
  // those the namespace trusts, and nothing is awaited.
  void MailTheOutage(TSmtpSecurity security, const std::string& login, bool trusted = true) {
    std::string missing;
    if (!SmtpServerAvailable(security, &missing)) GTEST_SKIP() << missing << " is missing";
    ASSERT_TRUE(MakeDirs(temp_->Sub("smtp")));
    smtp_ = std::make_unique<TSmtpServer>(temp_->Sub("smtp"),
                                          TSmtpOptions{2525, security, login, "pw"});
    std::string error;
    ASSERT_TRUE(smtp_->Start(&error)) << error;
    if (security != TSmtpSecurity::kNone && trusted) {
      // wksrv checks the server's certificate against the system's trust.
      ASSERT_TRUE(TrustOnlyCertificate(smtp_->certificate(), &error)) << error;
    }
    SetEntry(&wattkeep_, "EmailServer", "127.0.0.1");
    SetEntry(&wattkeep_, "EmailPort", "2525");
    SetEntry(&wattkeep_, "EmailSender", "ups@example.org");
    SetEntry(&wattkeep_, "EmailEncryption",
             security == TSmtpSecurity::kNone       ? "0"
             : security == TSmtpSecurity::kStartTls ? "1"
                                                    : "2");
    SetEntry(&wattkeep_, "EmailUseAuth", login.empty() ? "0" : "1");
    SetEntry(&wattkeep_, "EmailLogin", login);
    SetEntry(&wattkeep_, "EmailPassword", Scramble("pw"));
    OnEvent(0, {"$EMAIL,admin@example.org"});
    ASSERT_NO_FATAL_FAILURE(StartWksrv());
    ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
    if (!trusted) return;
    ASSERT_TRUE(smtp_->WaitForMails(1, 10000))
        << smtp_->Output() << ::testing::PrintToString(LogTexts());
  }
  void TearDown() override {
    UntrustCertificate();
    WksrvTest::TearDown();
  }

  std::unique_ptr<TSmtpServer> smtp_;
};

TEST_F(EmailTest, PlainMailNamesTheEvent) {
  ASSERT_NO_FATAL_FAILURE(MailTheOutage(TSmtpSecurity::kNone, ""));
  if (IsSkipped()) return;
  std::vector<TReceivedMail> mails = smtp_->Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].mail_from, "ups@example.org");
  EXPECT_EQ(mails[0].recipients, Lines{"admin@example.org"});
  EXPECT_FALSE(mails[0].encrypted);
  EXPECT_NE(mails[0].message.find(EventTag(0)), std::string::npos) << mails[0].message;
}

TEST_F(EmailTest, StartTlsMailWithLogin) {
  ASSERT_NO_FATAL_FAILURE(MailTheOutage(TSmtpSecurity::kStartTls, "alice"));
  if (IsSkipped()) return;
  std::vector<TReceivedMail> mails = smtp_->Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_TRUE(mails[0].encrypted);
  EXPECT_EQ(mails[0].login, "alice");
  EXPECT_EQ(mails[0].recipients, Lines{"admin@example.org"});
  EXPECT_NE(mails[0].message.find(EventTag(0)), std::string::npos) << mails[0].message;
}

TEST_F(EmailTest, TlsPortMail) {
  ASSERT_NO_FATAL_FAILURE(MailTheOutage(TSmtpSecurity::kTls, ""));
  if (IsSkipped()) return;
  std::vector<TReceivedMail> mails = smtp_->Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_TRUE(mails[0].encrypted);
  EXPECT_NE(mails[0].message.find(EventTag(0)), std::string::npos) << mails[0].message;
}

TEST_F(EmailTest, NoMailToAServerWhoseCertificateIsNotTrusted) {
  ASSERT_NO_FATAL_FAILURE(MailTheOutage(TSmtpSecurity::kStartTls, "alice", false));
  if (IsSkipped()) return;
  // The failure is logged with its reason.
  ASSERT_TRUE(WaitUntil(
      [&] {
        Lines texts = LogTexts();
        return std::any_of(texts.begin(), texts.end(), [](const std::string& text) {
          return text.find("admin@example.org") != std::string::npos &&
                 text.find("certificate") != std::string::npos;
        });
      },
      10000))
      << ::testing::PrintToString(LogTexts());
  EXPECT_TRUE(smtp_->Mails().empty()) << ::testing::PrintToString(LogTexts());
}

TEST_F(JobsTest, TheAliveServiceSatisfiesARealSlavesCheck) {
  SetEntry(&wattkeep_, "QsAliveEnabled", "1");
  SetEntry(&wattkeep_, "QsAlivePort", "65000");
  // The slave checks wksrv and a master whose name resolves nowhere: the
  // line for the latter shows that a check ran.
  TSlaveDaemon* slave = StartSlave(6005, [](TConfigEntries* config) {
    SetEntry(config, "AdrCount", "2");
    SetEntry(config, "Adr1", "no-such-master.invalid");
    SetEntry(config, "AliveEnabled", "1");
    SetEntry(config, "AliveFrequency", "10");
    SetEntry(config, "AlivePort", "65000");
    SetEntry(config, "AliveTimeOut", "2");
    SetEntry(config, "AliveRetries", "1");
  });
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  // The slave's first check follows its first 10-second pass.
  ASSERT_TRUE(WaitUntil(
      [&] {
        Lines texts = slave->LogTexts();
        return std::find(texts.begin(), texts.end(),
                         "ALIVE KO no-such-master.invalid after 1 tries") != texts.end();
      },
      16000))
      << ::testing::PrintToString(slave->LogTexts());
  for (const std::string& text : slave->LogTexts()) {
    EXPECT_EQ(text.find("ALIVE KO 127.0.0.1"), std::string::npos) << text;
  }
}

}  // namespace

// The fixtures of the master server's system tests, each against the real
// programs it drives, in namespaces of their own: what a wksrv test reads
// from them must be what happened.

#include <gtest/gtest.h>
#include <syslog.h>
#include <utmpx.h>

#include "tests/support/login_session.h"
#include "tests/support/master_client.h"
#include "tests/support/nut_fixture.h"
#include "tests/support/slave_daemon.h"
#include "tests/support/smtp_fixture.h"
#include "tests/support/subprocess.h"
#include "tests/support/syslog_sink.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(NutFixtureTest, StatesSetThroughUpsdAreReadBackAndOutliveAnUpsdRestart) {
  std::string missing;
  if (!NutInstalled(&missing)) GTEST_SKIP() << missing << " is not installed";
  TTempDir dir("nutfixture");
  TNutUps ups(dir.path(), 3493);
  std::string error;
  ASSERT_TRUE(ups.Start(&error)) << error;
  EXPECT_EQ(ups.ReadVar("ups.status"), "OL");
  EXPECT_EQ(ups.ReadVar("battery.runtime"), "1800");

  ASSERT_TRUE(ups.SetStatus("OB LB", &error)) << error;
  EXPECT_EQ(ups.ReadVar("ups.status"), "OB LB");
  ASSERT_TRUE(ups.SetVar("ups.delay.shutdown", "120", &error)) << error;
  EXPECT_EQ(ups.ReadVar("ups.delay.shutdown"), "120");
  EXPECT_NE(ups.ServerLog().find("set ups.status on dummy to OB LB"), std::string::npos)
      << ups.ServerLog();
  // A variable the UPS does not have is refused, as by a real driver.
  EXPECT_FALSE(ups.SetVar("ups.no.such", "1", &error));
  EXPECT_NE(error.find("VAR-NOT-SUPPORTED"), std::string::npos) << error;

  ups.StopServer();
  EXPECT_EQ(ups.ReadVar("ups.status"), "");
  ASSERT_TRUE(ups.StartServer(&error)) << error;
  EXPECT_EQ(ups.ReadVar("ups.status"), "OB LB");

  ups.Stop();
  EXPECT_TRUE(ProcessesNamed("upsd").empty());
  EXPECT_TRUE(ProcessesNamed("dummy-ups").empty());
}

// Sends one message with Python's smtplib, which verifies the server's
// certificate against the system's trusted authorities.
TRunResult SendWithPython(uint16_t port, bool starttls) {
  std::string script =
      "import smtplib, ssl\n"
      "s = smtplib.SMTP('127.0.0.1', " +
      std::to_string(port) +
      ", timeout=10)\n"
      "if " +
      (starttls ? "True" : "False") +
      ":\n"
      "    s.starttls(context=ssl.create_default_context())\n"
      "    s.login('alice', 'pw')\n"
      "s.sendmail('ups@example.org', ['admin@example.org', 'ops@example.org'],\n"
      "           'Subject: test\\r\\n\\r\\nthe power failed\\r\\n')\n"
      "s.quit()\n";
  TRunOptions options;
  options.merge_stderr = true;
  options.timeout_ms = 20000;
  return RunCommand({"/usr/bin/python3", "-c", script}, options);
}

TEST(SmtpFixtureTest, RecordsPlainAndStartTlsMessagesWithTheirEnvelope) {
  std::string missing;
  if (!SmtpServerAvailable(TSmtpSecurity::kStartTls, &missing))
    GTEST_SKIP() << missing << " is missing";
  TTempDir dir("smtpfixture");
  ASSERT_TRUE(MakeDirs(dir.Sub("plain")) && MakeDirs(dir.Sub("tls")));
  TSmtpServer plain(dir.Sub("plain"), {2525, TSmtpSecurity::kNone, "", ""});
  TSmtpServer secure(dir.Sub("tls"), {2526, TSmtpSecurity::kStartTls, "alice", "pw"});
  std::string error;
  ASSERT_TRUE(plain.Start(&error)) << error;
  ASSERT_TRUE(secure.Start(&error)) << error;
  ASSERT_TRUE(TrustOnlyCertificate(secure.certificate(), &error)) << error;

  TRunResult sent = SendWithPython(2525, false);
  EXPECT_EQ(sent.exit_code, 0) << sent.out;
  sent = SendWithPython(2526, true);
  EXPECT_EQ(sent.exit_code, 0) << sent.out;
  // Without STARTTLS the secure server takes nothing.
  TRunResult refused = SendWithPython(2526, false);
  EXPECT_NE(refused.exit_code, 0);
  UntrustCertificate();

  ASSERT_TRUE(plain.WaitForMails(1, 5000));
  ASSERT_TRUE(secure.WaitForMails(1, 5000));
  std::vector<TReceivedMail> mails = plain.Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].mail_from, "ups@example.org");
  EXPECT_EQ(mails[0].recipients,
            (std::vector<std::string>{"admin@example.org", "ops@example.org"}));
  EXPECT_FALSE(mails[0].encrypted);
  EXPECT_EQ(mails[0].login, "");
  EXPECT_NE(mails[0].message.find("the power failed"), std::string::npos);
  mails = secure.Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_TRUE(mails[0].encrypted);
  EXPECT_EQ(mails[0].login, "alice");
}

TEST(SyslogSinkTest, KeepsTheLinesOfTheCLibrarysSyslog) {
  TTempDir dir("syslogsink");
  TSyslogSink sink(dir.path());
  std::string error;
  ASSERT_TRUE(sink.Start(&error)) << error;
  // The rest of /dev is still there.
  EXPECT_TRUE(FileExists("/dev/null"));
  openlog("sinktest", LOG_PID, LOG_DAEMON);
  syslog(LOG_WARNING, "power %s", "failed");
  closelog();
  ASSERT_TRUE(sink.WaitForLine("sinktest", "power failed", 3000));
  TSyslogLine line = sink.Lines()[0];
  EXPECT_EQ(line.facility, LOG_DAEMON >> 3);
  EXPECT_EQ(line.severity, LOG_WARNING);
  EXPECT_EQ(line.text, "power failed");
  sink.Stop();
  EXPECT_FALSE(FileExists("/dev/log"));
}

TEST(SyslogSinkTest, ParsesTheCLibrarysLineForm) {
  TSyslogLine line;
  ASSERT_TRUE(ParseSyslogLine("<30>Dec  9 13:00:00 wksrv[42]: Battery low", &line));
  EXPECT_EQ(line.facility, 3);
  EXPECT_EQ(line.severity, 6);
  EXPECT_EQ(line.ident, "wksrv");
  EXPECT_EQ(line.text, "Battery low");
  ASSERT_TRUE(ParseSyslogLine("<11>Dec 10 01:02:03 tag: a: b", &line));
  EXPECT_EQ(line.ident, "tag");
  EXPECT_EQ(line.text, "a: b");
  for (const char* odd : {"", "no priority", "<x>Dec  9 13:00:00 a: b", "<30>short"}) {
    EXPECT_FALSE(ParseSyslogLine(odd, &line)) << odd;
    EXPECT_EQ(line.raw, odd);
  }
}

TEST(LoginSessionTest, WhatIsWrittenToTheLoggedInTerminalIsReadBack) {
  TTempDir dir("login");
  TLoginSession session(dir.path());
  const bool host_records = FileExists(_PATH_UTMPX);
  std::string error;
  ASSERT_TRUE(session.Start("alice", &error)) << error;
  setutxent();
  const utmpx* entry = getutxent();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->ut_type, USER_PROCESS);
  EXPECT_STREQ(entry->ut_user, "alice");
  EXPECT_EQ("/dev/" + std::string(entry->ut_line), session.terminal());
  EXPECT_EQ(getutxent(), nullptr);
  endutxent();

  TRunOptions options;
  options.stdout_path = session.terminal();
  ASSERT_EQ(RunCommand({"/bin/echo", "power failed"}, options).exit_code, 0);
  EXPECT_TRUE(
      WaitUntil([&] { return session.Received().find("power failed") != std::string::npos; }, 3000))
      << session.Received();
  session.Stop();
  EXPECT_EQ(FileExists(_PATH_UTMPX), host_records);
}

TEST(SlaveDaemonTest, TwoSlavesRunSideBySideAndTakeOrders) {
  TTempDir dir("slaves");
  ASSERT_TRUE(MakeDirs(dir.Sub("a")) && MakeDirs(dir.Sub("b")));
  TSlaveDaemon first(dir.Sub("a"), VM_QSLX_PATH, 6005);
  TSlaveDaemon second(dir.Sub("b"), VM_QSLX_PATH, 6006);
  std::string error;
  ASSERT_TRUE(first.Start(&error)) << error;
  ASSERT_TRUE(second.Start(&error)) << error;
  for (TSlaveDaemon* slave : {&first, &second}) {
    TOrderOptions options;
    options.port = slave->port();
    TOrderResult result = SendFrame(options, "<|1|1|hello|>");
    EXPECT_EQ(result.greeting, "<|ok|>");
    EXPECT_TRUE(WaitUntil([&] { return slave->tree().Runs("message.sh").size() == 1; }, 3000));
  }
  first.Stop();
  second.Stop();
  EXPECT_TRUE(WaitUntil([] { return ProcessesNamed("qslx").empty(); }, 3000));
}

}  // namespace

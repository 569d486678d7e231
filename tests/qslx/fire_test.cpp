// Rehearsing a master's event with qsmaster fire against the real daemon:
// what each remote job makes the slave do, and how refusals, dead slaves,
// dry runs and missing confirmations are reported.

#include <algorithm>

#include "tests/qslx/daemon_fixture.h"
#include "tests/support/tmux_term.h"

namespace {

using Lines = std::vector<std::string>;

const char kMasterLanguage[] =
    "[EVENTS]\n0=Power failure\n2=Battery low\n"
    "[ACTIONS]\n0=Popup\n1=Log\n2=Own shutdown\n3=Remote shutdown\n4=Remote message\n"
    "5=Remote script 1\n6=Remote script 2\n7=Remote script 3\n8=Local script\n9=Mail\n";

bool Holds(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A master's installation beside the daemon's: its suite settings, language
// file and "bin/wksrv.cfg" holding the given events.
class FireTest : public DaemonTest {
 protected:
  std::string MasterRoot() const { return temp_->Sub("master") + "/"; }
  std::string TMasterConfig() const { return MasterRoot() + "bin/wksrv.cfg"; }

  // A remote job of `code` for the daemon, or for `port` when given.
  std::string Job(const std::string& code, int port = 0) const {
    return code + ",127.0.0.1," + std::to_string(port == 0 ? port_ : port);
  }

  void WriteMaster(const Lines& events) const {
    std::string config =
        "[Wattkeep]\nQsTimeoutConnection=2\nEventCounter=" + std::to_string(events.size()) + "\n";
    for (size_t n = 0; n < events.size(); ++n) {
      config += "Event" + std::to_string(n) + "=" + events[n] + "\n";
    }
    ASSERT_TRUE(WriteFile(TMasterConfig(), config));
    ASSERT_TRUE(WriteFile(MasterRoot() + "bin/voltmon.cfg",
                          "[Globals]\nInstallPath=" + MasterRoot() + "\nLanguageFile=m.lng\n"));
    // Event 4's name makes a message order longer than the daemon reads.
    const std::string language = kMasterLanguage;
    ASSERT_TRUE(WriteFile(MasterRoot() + "languages/m.lng",
                          "[EVENTS]\n4=" + std::string(20000, 'n') + "\n" + language.substr(9)));
  }

  // qsmaster with `args`, the master's configuration added unless `own`.
  TRunResult Qsmaster(Lines args, bool own_config = false) const {
    if (!own_config) args.insert(args.end(), {"--config", TMasterConfig()});
    args.insert(args.begin(), QsmasterBinary());
    return RunCommand(args);
  }

  // Proves that nothing earlier reached the daemon: a later order's event
  // must be the only one logged since the start.
  void ExpectNothingSentBefore() {
    ASSERT_EQ(Qsmaster({"send", "127.0.0.1", std::to_string(port_), "4"}, true).exit_code, 0);
    ASSERT_TRUE(WaitForLogText("CUSTOM3 by 127.0.0.1"));
    Lines texts = LogTexts();
    EXPECT_EQ(Lines(texts.begin() + 1, texts.end()), Lines{"CUSTOM3 by 127.0.0.1"});
    for (const char* script : {"shutdown.sh", "message.sh", "custom1.sh", "custom2.sh"}) {
      EXPECT_TRUE(tree_->Runs(script).empty()) << script;
    }
  }
};

// What one remote action must make the slave start, with its argument (the
// daemon passes an empty one to the scripts without a text).
struct ActionCase {
  std::string code;
  std::string script;
  Lines args;
};

TEST_F(FireTest, EveryRemoteActionReachesTheSlaveInOrder) {
  const std::string message = "\"Rehearsal of UPS event 0 (Power failure): no action needed\"";
  const std::vector<ActionCase> cases = {
      {"$R_SHUT", "shutdown.sh", {""}},   {"$R_MSG", "message.sh", {message}},
      {"$R_SHELL_1", "custom1.sh", {""}}, {"$R_SHELL_2", "custom2.sh", {""}},
      {"$R_SHELL_3", "custom3.sh", {""}},
  };
  std::string event = "0|$POPUP,*";
  for (const ActionCase& c : cases) event += "|" + Job(c.code);
  ASSERT_NO_FATAL_FAILURE(WriteMaster({"2|$LOG", event + "|$SHUTDOWN"}));
  ASSERT_NO_FATAL_FAILURE(StartDaemon());

  TRunResult fire = Qsmaster({"fire", "0", "--yes"});
  EXPECT_EQ(fire.exit_code, 0) << fire.out << fire.err;
  const Lines out = LinesOf(fire.out);
  ASSERT_EQ(out.size(), 2 + 2 * (cases.size() + 2)) << fire.out;
  EXPECT_EQ(out[0], "event 0: Power failure (from " + TMasterConfig() + ")");
  EXPECT_EQ(out[1], "job 1 - Popup");
  EXPECT_EQ(out[2], "  not carried out: a local job (this is not the master server)");
  const std::string slave = "slave 127.0.0.1:" + std::to_string(port_);
  EXPECT_EQ(out[3], "job 2 - Remote shutdown (127.0.0.1 : " + std::to_string(port_) + ")");
  EXPECT_EQ(out[4],
            "  " + slave + ", order 0 (shut down): greeting <|ok|>, accepted, sent <|0|0|>");
  EXPECT_EQ(out[6], "  " + slave + ", order 1 (message): greeting <|ok|>, accepted, sent <|0|1|" +
                        message.substr(1, message.size() - 2) + "|>");
  EXPECT_EQ(out[12], "  " + slave + ", order 4 (custom script 3): greeting <|ok|>, accepted, " +
                         "sent <|0|4|>");
  EXPECT_EQ(out[13], "job 7 - Own shutdown");
  EXPECT_EQ(out.back(),
            "summary: 5 accepted, 0 refused, 0 not delivered, 2 local jobs not "
            "carried out");
  for (const ActionCase& c : cases) {
    ASSERT_TRUE(WaitUntil([&] { return tree_->Runs(c.script).size() == 1; }, 3000)) << c.script;
    EXPECT_EQ(tree_->Runs(c.script)[0].args, c.args) << c.script;
  }
  ASSERT_TRUE(WaitForLogText("CUSTOM3 by 127.0.0.1"));
  for (const char* text : {"SHUTDOWN by 127.0.0.1", "MESSAGE by 127.0.0.1", "CUSTOM1 by 127.0.0.1",
                           "CUSTOM2 by 127.0.0.1"}) {
    EXPECT_TRUE(WaitForLogText(text)) << text;
  }
}

TEST_F(FireTest, ARefusedCallerAndADeadSlaveAreReportedAndTheNextJobsStillTried) {
  SetEntry(&config_, "Adr0", "127.0.0.2");
  ASSERT_NO_FATAL_FAILURE(WriteMaster(
      {"0|" + Job("$R_SHELL_1", port_ + 1) + "|" + Job("$R_SHELL_2") + "|$R_SHUT,127.0.0.1,0"}));
  ASSERT_NO_FATAL_FAILURE(StartDaemon());

  TRunResult fire = Qsmaster({"fire", "0", "--yes"});
  EXPECT_EQ(fire.exit_code, 1) << fire.err;
  const Lines out = LinesOf(fire.out);
  ASSERT_EQ(out.size(), 8u) << fire.out;
  EXPECT_TRUE(Holds(out[2],
                    "order 2 (custom script 1): not delivered: cannot connect: "
                    "Connection refused"))
      << out[2];
  EXPECT_EQ(out[4], "  slave 127.0.0.1:" + std::to_string(port_) +
                        ", order 3 (custom script 2): greeting <|KO|>, refused");
  EXPECT_EQ(out[6], "  order 0 (shut down) to '127.0.0.1': not sent: the port '0' is not 1-65535");
  EXPECT_EQ(out[7],
            "summary: 0 accepted, 1 refused, 2 not delivered, 0 local jobs not carried out");
  ASSERT_TRUE(WaitForLogText("REFUSED 127.0.0.1"));
  EXPECT_TRUE(tree_->Runs("custom2.sh").empty());
}

// A rehearsal that must send nothing: its arguments, status and a piece of
// its report.
struct SilentCase {
  Lines args;
  int exit_code;
  std::string out;
  std::string err;
};

TEST_F(FireTest, DryRunsAndUnconfirmedShutdownsSendNothing) {
  ASSERT_NO_FATAL_FAILURE(
      WriteMaster({"0|" + Job("$R_MSG") + "|" + Job("$R_SHUT") + "|$LOG", "2|" + Job("$R_SHELL_1"),
                   "3|$R_SHUT,127.0.0.1,0", "4|" + Job("$R_MSG")}));
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  const std::string slave = "slave 127.0.0.1:" + std::to_string(port_);
  const std::vector<SilentCase> cases = {
      {{"fire", "0", "--dry-run"},
       0,
       "  " + slave + ", order 0 (shut down): would send <|0|0|>",
       ""},
      {{"fire", "0"}, 1, "event 0: Power failure", "no terminal to confirm"},
      {{"fire", "3", "--dry-run"}, 1, "not sent: the port '0' is not 1-65535", ""},
      {{"fire", "4", "--yes"}, 1, "past the daemon's limit of 4096 bytes", ""},
      {{"fire", "9", "--yes"}, 2, "", "no event 9"},
      {{"fire", "0", "--yes", "--config", temp_->Sub("none.cfg")}, 2, "", "cannot read"},
  };
  for (const SilentCase& c : cases) {
    TRunResult run = Qsmaster(c.args, c.args.size() > 3);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.args[1] << run.err;
    EXPECT_TRUE(Holds(run.out, c.out)) << run.out;
    EXPECT_TRUE(Holds(run.err, c.err)) << run.err;
  }
  ASSERT_NO_FATAL_FAILURE(ExpectNothingSentBefore());
}

// An answer typed at the confirmation and what must follow it.
struct AnswerCase {
  std::string answer;
  std::string shown;
  std::string status;
};

TEST_F(FireTest, AShutdownIsAskedForOnTheTerminal) {
  ASSERT_NO_FATAL_FAILURE(WriteMaster({"0|" + Job("$R_SHUT")}));
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  const std::vector<AnswerCase> cases = {
      {"n", "not confirmed: nothing sent", "status=1"},
      {"", "not confirmed: nothing sent", "status=1"},
      {"yes", "summary: 1 accepted", "status=0"},
  };
  for (const AnswerCase& c : cases) {
    TTmuxTerm term;
    ASSERT_TRUE(
        term.Start(QsmasterBinary() + " fire 0 --config " + TMasterConfig() + "; echo status=$?"))
        << term.error();
    ASSERT_TRUE(term.WaitFor("really shuts down: 127.0.0.1:" + std::to_string(port_)))
        << term.error();
    ASSERT_TRUE(term.WaitFor("Go on? [y/N]")) << term.error();
    ASSERT_TRUE(term.SendText(c.answer) && term.SendKeys({"Enter"}));
    EXPECT_TRUE(term.WaitFor(c.shown)) << c.answer << term.error();
    EXPECT_TRUE(term.WaitFor(c.status)) << c.answer << term.error();
  }
  ASSERT_TRUE(WaitForLogText("SHUTDOWN by 127.0.0.1"));
  EXPECT_TRUE(WaitUntil([&] { return tree_->Runs("shutdown.sh").size() == 1; }, 3000));
  const Lines texts = LogTexts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "SHUTDOWN by 127.0.0.1"), 1);
}

TEST_F(FireTest, TheInstallationsConfigurationAndLanguageAreFoundBesideTheProgram) {
  ASSERT_NO_FATAL_FAILURE(WriteMaster({"0|$POPUP,*|$EMAIL,ops@site", "2|" + Job("$R_SHELL_1")}));
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  const std::string own = MasterRoot() + "bin/qsmaster";
  ASSERT_EQ(RunCommand({"/bin/cp", QsmasterBinary(), own}).exit_code, 0);

  TRunResult events = RunCommand({own, "events"});
  EXPECT_EQ(events.exit_code, 0) << events.err;
  EXPECT_EQ(LinesOf(events.out),
            (Lines{"events of " + TMasterConfig() + ":", "event 0: Power failure", "  - Popup",
                   "  - Mail (ops@site)", "event 2: Battery low",
                   "  - Remote script 1 (127.0.0.1 : " + std::to_string(port_) + ")"}));
  TRunResult fire = RunCommand({own, "fire", "2"});
  EXPECT_EQ(fire.exit_code, 0) << fire.err;
  EXPECT_TRUE(Holds(fire.out, "accepted, sent <|2|2|>")) << fire.out;
  ASSERT_TRUE(WaitForLogText("CUSTOM1 by 127.0.0.1"));
}

}  // namespace

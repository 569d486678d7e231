#include "wksrv/check.h"

#include <gtest/gtest.h>

namespace {

TCheckProbes Probes() {
  TCheckProbes probes;
  probes.Resolves = [](const std::string& host) { return host != "gone.lan"; };
  probes.Runnable = [](const std::string& path) { return path.rfind("/ok/", 0) == 0; };
  return probes;
}

TUpsReading OnLine() {
  TUpsReading reading;
  reading.reachable = true;
  reading.vars["ups.status"] = "OL CHRG";
  return reading;
}

struct TCheckCase {
  const char* name;
  std::vector<std::string> events;  // event lines
  std::function<void(TSetupData*, TMasterSettings*)> change;
  std::vector<std::string> problems;
};

TEST(CheckMaster, EveryProblemOfTheJobsAndSettings) {
  const TCheckCase cases[] = {
      {"sound jobs",
       {"0|$POPUP,*|$LOG|$R_MSG,slave.lan,6005|$L_SHELL,/ok/run.sh|$MSLOG", "2|$SHUTDOWN"},
       [](TSetupData* s, TMasterSettings* m) {
         m->ShutdownCommand = "/ok/shutdown -h now";
         s->Ups.UpsOffEnabled = true;
         m->NutUser = "mon";
       },
       {}},
      {"remote, local and mail jobs that cannot work",
       {"0|$R_SHUT,gone.lan,6005|$R_MSG,slave.lan,0|$L_SHELL,/no/run.sh|$EMAIL,a@b.c|$EMAIL"},
       nullptr,
       {"event 0, job 1: the slave \"gone.lan\" does not resolve",
        "event 0, job 2: the port \"0\" is no TCP port",
        "event 0, job 3: the script \"/no/run.sh\" cannot be run",
        "event 0, job 4: an e-mail, but no mail server (EmailServer)",
        "event 0, job 5: an e-mail, but no mail server (EmailServer)",
        "event 0, job 5: an e-mail without recipient"}},
      {"the own shutdown: disabled, or its command missing",
       {"9|$SHUTDOWN", "2|$POPUP,*|$SHUTDOWN"},
       [](TSetupData* s, TMasterSettings*) { s->Server.SrvDownEnabled = false; },
       {"event 9, job 1: the own shutdown never runs: system shutdown is disabled "
        "(SrvDownEnabled)",
        "event 2, job 2: the own shutdown never runs: system shutdown is disabled "
        "(SrvDownEnabled)"}},
      {"the default shutdown command where it cannot run",
       {"9|$SHUTDOWN"},
       nullptr,
       {"event 9, job 1: the shutdown command \"/sbin/shutdown -h now\" cannot be run"}},
      {"unknown job, code twice, no code, switch-off without account",
       {"1|$WHAT,x", "1|$LOG", "x|$LOG"},
       [](TSetupData* s, TMasterSettings*) { s->Ups.UpsOnEnabled = true; },
       {"the UPS switch-off or restart needs a NUT account (NutUser of [Master])",
        "event 1, job 1: unknown job \"$WHAT,x\"",
        "event 1 is configured twice; only the first runs",
        "event line 2 \"x|$LOG\" has no event code"}},
  };
  for (const TCheckCase& c : cases) {
    TSetupData setup;
    TMasterSettings master;
    for (const std::string& line : c.events) setup.Ups.Events.AddEventLine(line);
    if (c.change) c.change(&setup, &master);
    EXPECT_EQ(CheckMaster(setup, master, OnLine(), Probes()).problems, c.problems) << c.name;
  }
}

TEST(CheckMaster, WhatItWatchesAndAnUnreachableUps) {
  TSetupData setup;
  TMasterSettings master;
  master.NutUps = "dummy@127.0.0.1:3493";
  setup.Server.SrvPollingUps = 2;
  setup.Server.QsAliveEnabled = true;
  setup.Ups.Events.AddEventLine("0|$POPUP,*|$R_SHUT,10.0.0.2,6005");
  TUpsReading silent;
  silent.error = "upsd 127.0.0.1:3493: Connection failure: Connection refused";
  TCheckReport report = CheckMaster(setup, master, silent, Probes());
  EXPECT_EQ(report.problems,
            (TTextList{"no UPS reachable: upsd 127.0.0.1:3493: Connection failure: Connection "
                       "refused"}));
  ASSERT_EQ(report.watch.size(), 6u);
  EXPECT_EQ(report.watch[0], "UPS dummy@127.0.0.1:3493 through NUT, read every 2 s");
  EXPECT_EQ(report.watch[1],
            "System shutdown: event 9 after 300 s on battery, event 11 300 s before");
  EXPECT_EQ(report.watch[2], "Alive service on TCP port 65000");
  EXPECT_EQ(report.watch[3], "Event 0: 2 job(s)") << "no language file: no name";
  EXPECT_EQ(report.watch[5].substr(report.watch[5].size() - 18), " (10.0.0.2 : 6005)");

  setup.Ups.UpsSmartAutonomy = true;
  report = CheckMaster(setup, master, OnLine(), Probes());
  EXPECT_TRUE(report.problems.empty());
  EXPECT_EQ(report.watch[1], "UPS status now: OL CHRG");
  EXPECT_EQ(report.watch[2],
            "System shutdown: event 9 when battery.runtime falls to 180 s (without it after 300 "
            "s on battery), event 11 300 s before");
}

TEST(CheckMaster, TheProgramOfACommand) {
  EXPECT_EQ(CommandProgram("  /sbin/shutdown -h now"), "/sbin/shutdown");
  EXPECT_EQ(CommandProgram("/bin/rec"), "/bin/rec");
  EXPECT_EQ(CommandProgram(" \t"), "");
}

}  // namespace

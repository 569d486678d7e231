#include "common/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>

#include "common/files.h"
#include "tests/support/temp_dir.h"

namespace {

class ProcessFiles : public ::testing::Test {
 protected:
  TTempDir temp_{"process_test"};
  std::string dir_ = temp_.path();
};

class FakeProc : public ProcessFiles {
 protected:
  void AddProcess(const std::string& entry, const std::string& status) {
    std::string d = dir_ + "/" + entry;
    ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
    std::ofstream(d + "/status") << status;
  }
  static std::string Status(const std::string& name, int pid, int ppid,
                            const std::string& uids = "0\t0\t0\t0",
                            const std::string& state = "S (sleeping)") {
    return "Name:\t" + name + "\nUmask:\t0022\nState:\t" + state + "\nTgid:\t" +
           std::to_string(pid) + "\nPid:\t" + std::to_string(pid) + "\nPPid:\t" +
           std::to_string(ppid) + "\nUid:\t" + uids + "\n";
  }
};

// Runs `path` through RunProgram's direct mode and waits (bounded) for the
// child, which is this test's only one.
bool RunAndReap(const std::string& path, const std::string& arguments) {
  EXPECT_FALSE(RunProgram(path, arguments, false));
  for (int i = 0; i < 1000; ++i) {
    int status = 0;
    pid_t done = waitpid(-1, &status, WNOHANG);
    if (done > 0) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0) return false;
    struct timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return false;
}

// A script that records its argument count, each argument and its blocked
// signals in "<dir>/out". Perl, because the system shell clears the signal
// mask it was started with.
std::string WriteRecorder(const std::string& dir) {
  std::string script = dir + "/record.pl";
  std::ofstream(script) << "#!/usr/bin/perl\n"
                        << "open(my $o, '>', '" << dir << "/out') or exit 1;\n"
                        << R"(print $o scalar(@ARGV), "\n";)"
                        << "\n"
                        << R"(print $o "[$_]\n" for @ARGV;)"
                        << "\n"
                        << "open(my $s, '<', '/proc/self/status') or exit 1;\n"
                        << "print $o grep { /^SigBlk:/ } <$s>;\n";
  chmod(script.c_str(), 0755);
  return script;
}

int ChildIsRoot(uid_t uid) {
  pid_t child = fork();
  if (child == 0) {
    if (uid != 0 && setuid(uid) != 0) _exit(2);
    _exit(IsRootUser() ? 1 : 0);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace

TEST(IsRootUser, ComparesAccountNamesOfRealUser) {
  if (getuid() != 0) GTEST_SKIP() << "needs root, to take other user ids";
  EXPECT_EQ(ChildIsRoot(0), 1);
  EXPECT_EQ(ChildIsRoot(65534), 0);
  // An id without an account entry is not root, and must not crash.
  EXPECT_EQ(ChildIsRoot(54321), 0);
}

TEST_F(ProcessFiles, ReadProcStatusStopsAtEmptyLine) {
  std::string file = dir_ + "/status";
  std::ofstream(file) << "Name:\tx\nPid:\t5\n\nPPid:\t1\n";
  EXPECT_EQ(ReadProcStatus(file), (TTextList{"Name:\tx", "Pid:\t5"}));
  EXPECT_TRUE(ReadProcStatus(dir_ + "/missing").empty());
  EXPECT_TRUE(ReadProcStatus(dir_).empty());
}

TEST(ReadProcStatus, RealStatusOfThisProcess) {
  TTextList lines = ReadProcStatus("/proc/self/status");
  // The kernel's name of this process, which is the emulator's when the
  // tests run under one.
  std::string comm = ReadFile("/proc/self/comm");
  ASSERT_FALSE(comm.empty());
  comm.pop_back();
  EXPECT_EQ(StatusField("Name:\t", lines), comm);
  EXPECT_EQ(StatusField("Pid:\t", lines), std::to_string(getpid()));
  EXPECT_EQ(StatusField("PPid:\t", lines), std::to_string(getppid()));
}

TEST(StatusField, FirstLineHoldingPrefixAnywhere) {
  TTextList kernel_order{"Name:\tqslx", "Pid:\t42", "PPid:\t1"};
  EXPECT_EQ(StatusField("Pid:\t", kernel_order), "42");
  EXPECT_EQ(StatusField("PPid:\t", kernel_order), "1");
  EXPECT_EQ(StatusField("Uid:\t", kernel_order), "");
  // "PPid:\t" holds "Pid:\t": whichever comes first gives the value, cut
  // after as many characters as the prefix has.
  TTextList swapped{"PPid:\t1", "Pid:\t42"};
  EXPECT_EQ(StatusField("Pid:\t", swapped), "\t1");
  EXPECT_EQ(StatusField("Name:\t", {"Name:\t  spaced "}), "  spaced ");
}

TEST_F(FakeProc, FindsOnlyExactNameAdoptedByInit) {
  AddProcess("self", Status("qslx", 9, 1));
  AddProcess("0", Status("qslx", 0, 1));
  AddProcess("-4", Status("qslx", 4, 1));
  AddProcess("100", Status("qslxd", 100, 1));
  AddProcess("101", Status("qslx", 101, 55));
  AddProcess("102", Status("qslx", 102, 10));
  AddProcess("103", Status("QSLX", 103, 1));
  EXPECT_EQ(FindDaemonPid("qslx", 1, -1, dir_), -1);
  AddProcess("104", Status("qslx", 104, 1));
  EXPECT_EQ(FindDaemonPid("qslx", 1, -1, dir_), 104);
  EXPECT_EQ(FindDaemonPid("qslxd", 1, -1, dir_), 100);
  EXPECT_EQ(FindDaemonPid("qsl", 1, -1, dir_), -1);
  EXPECT_EQ(FindDaemonPid("qslx", 1, -1, dir_ + "/missing"), -1);
  // The parent and the one process to pass over are the caller's choice.
  EXPECT_EQ(FindDaemonPid("qslx", 1, 104, dir_), -1);
  EXPECT_EQ(FindDaemonPid("qslx", 55, -1, dir_), 101);
}

// Only the real uid counts: a set-uid program of an ordinary user is not
// root's daemon, a root process that changed its effective uid still is.
TEST_F(FakeProc, OnlyProcessesOfRootCount) {
  AddProcess("300", Status("qslx", 300, 1, "65534\t65534\t65534\t65534"));
  AddProcess("301", Status("qslx", 301, 1, "65534\t0\t0\t0"));
  AddProcess("302", Status("qslx", 302, 1, "10\t0\t0\t0"));
  AddProcess("303", "Name:\tqslx\nPid:\t303\nPPid:\t1\n");
  EXPECT_EQ(FindDaemonPid("qslx", 1, -1, dir_), -1);
  AddProcess("304", Status("qslx", 304, 1, "0\t65534\t65534\t65534"));
  EXPECT_EQ(FindDaemonPid("qslx", 1, -1, dir_), 304);
}

// A daemon that ended and waits to be reaped is not running: the one
// beside it, or none, is the answer.
TEST_F(FakeProc, EndedProcessesDoNotCount) {
  const std::string root = "0\t0\t0\t0";
  AddProcess("400", Status("qslx", 400, 1, root, "Z (zombie)"));
  AddProcess("401", Status("qslx", 401, 1, root, "X (dead)"));
  EXPECT_EQ(FindDaemonPid("qslx", 1, -1, dir_), -1);
  for (const char* state : {"R (running)", "D (disk sleep)", "T (stopped)", ""}) {
    TTempDir proc{"process_test_state"};
    std::string d = proc.path() + "/402";
    ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
    std::ofstream(d + "/status") << Status("qslx", 402, 1, root, state);
    EXPECT_EQ(FindDaemonPid("qslx", 1, -1, proc.path()), 402) << state;
  }
}

TEST_F(FakeProc, PidTakenFromWhicheverLineComesFirst) {
  AddProcess("200", "Name:\tqslx\nPPid:\t1\nPid:\t200\n");
  // Read by the rule, "Pid:" gives "\t1" here; it must not become process 1.
  EXPECT_EQ(FindDaemonPid("qslx", 1, -1, dir_), -1);
  AddProcess("201", "Name:\tqslx\nPid:\t201\n\nPPid:\t1\n");
  EXPECT_EQ(FindDaemonPid("qslx", 1, -1, dir_), -1);
  AddProcess("202", "Name:\tqslx\nPid:\t202\nPPid:\t1\nUid:\t0\t0\t0\t0\n");
  EXPECT_EQ(FindDaemonPid("qslx", 1, -1, dir_), 202);
}

TEST_F(ProcessFiles, DirectModePassesArgumentsWholeAndLeavesNoChildWhenExecFails) {
  std::string script = WriteRecorder(dir_);
  // A program that cannot be executed leaves no child behind, or (where an
  // emulator turns the spawn into a fork) one that ended with 127 rather
  // than run on as a copy of the caller; either way the next child reaped
  // below is the recorder's.
  const pid_t parent = getpid();
  EXPECT_FALSE(RunProgram(dir_ + "/missing", "", false));
  ASSERT_EQ(getpid(), parent);
  int status = 0;
  if (waitpid(-1, &status, 0) > 0) {
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 127);
  } else {
    EXPECT_EQ(errno, ECHILD);
  }
  ASSERT_TRUE(RunAndReap(script, ""));
  EXPECT_EQ(ReadFile(dir_ + "/out").substr(0, 5), "1\n[]\n");
  ASSERT_TRUE(RunAndReap(script, "a b  $HOME;x"));
  EXPECT_EQ(ReadFile(dir_ + "/out").substr(0, 17), "1\n[a b  $HOME;x]\n");
}

TEST_F(ProcessFiles, DirectModeChildGetsTheConfiguredMask) {
  std::string script = WriteRecorder(dir_);
  sigset_t usr1, usr2, old;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  sigemptyset(&usr2);
  sigaddset(&usr2, SIGUSR2);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &usr1, &old), 0);

  ASSERT_TRUE(RunAndReap(script, "x"));
  EXPECT_NE(ReadFile(dir_ + "/out").find("SigBlk:\t0000000000000200"), std::string::npos)
      << ReadFile(dir_ + "/out");

  SetChildSignalMask(&usr2);
  ASSERT_TRUE(RunAndReap(script, "x"));
  SetChildSignalMask(nullptr);
  EXPECT_NE(ReadFile(dir_ + "/out").find("SigBlk:\t0000000000000800"), std::string::npos)
      << ReadFile(dir_ + "/out");

  ASSERT_EQ(pthread_sigmask(SIG_SETMASK, &old, nullptr), 0);
}

TEST_F(ProcessFiles, ShellModeTrueOnlyForStatusZero) {
  EXPECT_TRUE(RunProgram("true", "", true));
  EXPECT_FALSE(RunProgram("false", "", true));
  EXPECT_FALSE(RunProgram("exit", "3", true));
  EXPECT_FALSE(RunProgram("/no/such/command", "", true));
  std::string a = dir_ + "/a", b = dir_ + "/b";
  EXPECT_FALSE(RunProgram("cp -f " + a + " " + b + " > /dev/null 2>&1", "", true));
  std::ofstream(a) << "data";
  EXPECT_TRUE(RunProgram("cp -f " + a + " " + b + " > /dev/null", "", true));
  EXPECT_EQ(ReadFile(b), "data");
  // The blank between command and arguments is always there.
  EXPECT_TRUE(
      RunProgram("printf '%s|' x >" + dir_ + "/line; printf '%s'", "y >>" + dir_ + "/line", true));
  EXPECT_EQ(ReadFile(dir_ + "/line"), "x|y");
}

TEST_F(ProcessFiles, ExistenceTestRefusesWhatIsNotThere) {
  EXPECT_FALSE(RunProgram("true", "", true, true));
  EXPECT_FALSE(RunProgram(dir_ + "/missing", "", false, true));
  std::string script = dir_ + "/ok.sh";
  std::ofstream(script) << "#!/bin/sh\nexit 0\n";
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
  EXPECT_TRUE(RunProgram(script, "", true, true));
  EXPECT_TRUE(RunProgram("true", "", true));
}

TEST(SendSignal, DeliveredOnlyToAnExistingSingleProcess) {
  EXPECT_TRUE(SendSignal(getpid(), 0));
  EXPECT_FALSE(SendSignal(-1, 0));
  EXPECT_FALSE(SendSignal(0, 0));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_FALSE(SendSignal(child, 0));
}

// The short name file spares the status of other programs, and never
// decides alone: a missing one, or one that names the program while the
// status does not, leaves the status to decide.
TEST_F(FakeProc, ShortNameFileOnlyPassesOverOtherPrograms) {
  const struct {
    const char* name;
    const char* comm;  // nullptr: no such file
    std::string status;
    pid_t found;
  } kCases[] = {
      {"named", "wksrv\n", Status("wksrv", 400, 1), 400},
      {"no name file", nullptr, Status("wksrv", 401, 1), 401},
      {"another program", "other\n", Status("other", 402, 1), -1},
      {"the status disagrees", "wksrv\n", Status("other", 403, 1), -1},
      {"without line feed", "wksrv", Status("wksrv", 404, 1), 404},
  };
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.name);
    TTempDir root("process_comm_test");
    const std::string entry = root.path() + "/" + std::to_string(400 + (&k - kCases));
    ASSERT_EQ(mkdir(entry.c_str(), 0755), 0);
    std::ofstream(entry + "/status") << k.status;
    if (k.comm != nullptr) std::ofstream(entry + "/comm") << k.comm;
    EXPECT_EQ(FindDaemonPid("wksrv", 1, -1, root.path()), k.found);
  }
}

// The real tables: a child of this process is found by its name (the same
// as this one's) and its parent; siblings run by the same parent cannot be.
TEST(FindDaemonPid, FindsAChildInTheRealTables) {
  if (getuid() != 0) GTEST_SKIP() << "only root's processes count";
  std::string comm;
  ASSERT_EQ(ReadWholeFile("/proc/self/comm", &comm), 0);
  comm.pop_back();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    pause();
    _exit(0);
  }
  EXPECT_EQ(FindDaemonPid(comm, getpid(), -1, "/proc"), child);
  EXPECT_EQ(FindDaemonPid(comm, getpid(), child, "/proc"), -1);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

// nsrun run for real: needs root, as it unshares namespaces.

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/master_client.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

namespace {

TRunResult Nsrun(const std::vector<std::string>& args, int timeout_ms = 10000) {
  std::vector<std::string> argv = {VM_NSRUN_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  TRunOptions options;
  options.timeout_ms = timeout_ms;
  return RunCommand(argv, options);
}

TRunResult Shell(const std::string& script, const std::vector<std::string>& options = {}) {
  std::vector<std::string> args = options;
  args.insert(args.end(), {"--", "/bin/sh", "-c", script});
  return Nsrun(args);
}

// Host processes whose command line holds `token`.
int ProcessesWith(const std::string& token) {
  int count = 0;
  DIR* dir = opendir("/proc");
  if (dir == nullptr) return -1;
  while (struct dirent* entry = readdir(dir)) {
    std::string cmdline = ReadFile(std::string("/proc/") + entry->d_name + "/cmdline");
    for (char& c : cmdline) {
      if (c == '\0') c = ' ';
    }
    if (cmdline.find(token) != std::string::npos && !ProcessGone(std::atoi(entry->d_name))) {
      ++count;
    }
  }
  closedir(dir);
  return count;
}

TEST(Nsrun, PassesTheExitStatusAndMapsSignals) {
  EXPECT_EQ(Shell("exit 3").exit_code, 3);
  EXPECT_EQ(Shell("kill -TERM $$").exit_code, 128 + 15);
  EXPECT_EQ(Nsrun({"--", "/no/such/program"}).exit_code, 127);
  TRunResult bad = Nsrun({"--frobnicate", "true"});
  EXPECT_EQ(bad.exit_code, 125);
  EXPECT_NE(bad.err.find("--help"), std::string::npos);
  TRunResult help = Nsrun({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("Usage: nsrun", 0), 0u);
}

TEST(Nsrun, CommandIsTheChildOfPidOneWithAFreshProc) {
  TRunResult result = Shell("echo $PPID; ls /proc | grep -c '^[0-9]*$'");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::vector<std::string> lines = LinesOf(result.out);
  ASSERT_EQ(lines.size(), 2u) << result.out;
  EXPECT_EQ(lines[0], "1");
  EXPECT_LE(std::atoi(lines[1].c_str()), 5) << "only the namespace's processes are listed";
}

TEST(Nsrun, KillsWhatTheCommandLeftRunning) {
  const std::string token = "4711" + std::to_string(getpid());
  TRunResult result = Shell("sleep " + token + " & sleep " + token + " & exit 0");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(ProcessesWith("sleep " + token), 0) << "gone by the time nsrun returns";
}

TEST(Nsrun, PrivateNetworkHasLoopbackUpAndNothingOfTheHost) {
  int host = ListenOn("127.0.0.1", 0);
  ASSERT_GE(host, 0);
  sockaddr_in address;
  socklen_t length = sizeof address;
  ASSERT_EQ(getsockname(host, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string port = std::to_string(ntohs(address.sin_port));
  const std::string probe = "exec 3<>/dev/tcp/127.0.0.1/" + port;
  TRunResult inside = Nsrun({"--", "/bin/bash", "-c", probe});
  EXPECT_NE(inside.exit_code, 0);
  EXPECT_NE(inside.err.find("refused"), std::string::npos)
      << "loopback must be up but empty: " << inside.err;
  TRunResult mount_only = Nsrun({"--mount-only", "--", "/bin/bash", "-c", probe});
  EXPECT_EQ(mount_only.exit_code, 0) << "the host's network: " << mount_only.err;
  close(host);
}

TEST(Nsrun, OverlayKeepsWritesInTheUpperDirectory) {
  TTempDir temp("nsruntest");
  const std::string name = "nsrun-probe-" + std::to_string(getpid());
  TRunResult result = Shell("echo hi > /etc/" + name + " && cat /etc/hostname > /dev/null",
                            {"--mount-only", "--overlay", "/etc:" + temp.Sub("etc")});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(ReadFile(temp.Sub("etc/upper/" + name)), "hi\n");
  EXPECT_FALSE(FileExists("/etc/" + name));
}

TEST(Nsrun, TimeLimitKillsTheCommand) {
  auto start = std::chrono::steady_clock::now();
  TRunResult result = Nsrun({"--timeout", "1", "--", "/bin/sleep", "30"});
  EXPECT_EQ(result.exit_code, 128 + 9);
  EXPECT_NE(result.err.find("time limit"), std::string::npos) << result.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(Nsrun, ForwardsTerminationToTheCommand) {
  // The signal goes once the command has set its trap, which is after nsrun
  // has made its namespaces; however slow that is on a busy machine.
  TTempDir temp("nsruntest");
  const std::string ready = temp.Sub("ready");
  const std::string script =
      std::string(VM_NSRUN_PATH) + " -- /bin/sh -c 'trap \"exit 9\" TERM; : > " + ready +
      "; sleep 20 & wait' & n=$!; i=0; while [ ! -e " + ready +
      " ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done; kill -TERM $n; wait $n; echo $?";
  TRunOptions options;
  options.timeout_ms = 10000;
  TRunResult result = RunCommand({"/bin/sh", "-c", script}, options);
  EXPECT_EQ(result.out, "9\n") << result.err;
}

}  // namespace

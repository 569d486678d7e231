// The load and fault tests run each case in namespaces of its own (PID,
// mount, network with loopback only), so that daemons, ports and mounts never
// meet the host's or another test's: the binary re-executes itself under
// nsrun unless it is already inside, or only lists its cases.
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr char kInside[] = "VM_LOAD_INSIDE";

}  // namespace

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || strncmp(argv[i], "--gtest_list", 12) == 0;
  if (!listing && getenv(kInside) == nullptr) {
    setenv(kInside, "1", 1);
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
      perror("load tests: /proc/self/exe");
      return 1;
    }
    self[length] = '\0';
    std::vector<std::string> args = {VM_NSRUN_PATH, "--timeout", "280", "--", self};
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    std::vector<char*> exec_args;
    for (std::string& arg : args) exec_args.push_back(arg.data());
    exec_args.push_back(nullptr);
    execv(exec_args[0], exec_args.data());
    perror("load tests: cannot run nsrun");
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

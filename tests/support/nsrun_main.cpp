// The entry of the system tests that run the real daemon: every run that
// executes test cases is moved into private PID, mount and network namespaces
// (loopback only) through nsrun, so that each CTest case (one process per
// case) owns its ports, its processes and its mounts, and nothing it started
// outlives it. Listing the cases (CTest's discovery) stays outside.
// VM_NSRUN_TIMEOUT_S bounds the whole run.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kInsideMarker[] = "VM_TEST_IN_NAMESPACES";

bool OnlyListing(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--gtest_list_tests") == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv(kInsideMarker) == nullptr && !OnlyListing(argc, argv)) {
    if (setenv(kInsideMarker, "1", 1) != 0) return 1;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
      std::perror("readlink /proc/self/exe");
      return 1;
    }
    self[n] = '\0';
    std::vector<std::string> args = {VM_NSRUN_PATH, "--timeout", VM_NSRUN_TIMEOUT_S, "--", self};
    args.insert(args.end(), argv + 1, argv + argc);
    std::vector<char*> cargs;
    for (std::string& arg : args) cargs.push_back(arg.data());
    cargs.push_back(nullptr);
    execv(cargs[0], cargs.data());
    std::fprintf(stderr, "cannot run %s: %s\n", cargs[0], std::strerror(errno));
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

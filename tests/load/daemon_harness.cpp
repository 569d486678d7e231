// The load and fault tests' daemon: builds an installation tree with a test
// language file, a configuration and a recorder script, starts the real
// program from it and talks to it over loopback as a master would.
#include "tests/load/daemon_harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/scramble.h"
#include "common/tcp.h"
#include "gtest/gtest.h"

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = kStopWithinMs + 3000;

const char kLanguage[] =
    "[ERRORS]\n"
    "100001=Check the settings.\n"
    "100002=No server object.\n"
    "98=Port $ is in use.\n"
    "[QSSRV]\n"
    "LogStart=STARTED\n"
    "LogStop=STOPPED\n"
    "LogNotExecuted=REFUSED $\n"
    "LogNotExecutedMore=REFUSED MORE $ $\n"
    "LogShutdown=SHUTDOWN by $\n"
    "LogMessage=MESSAGE by $\n"
    "LogCustom_1=CUSTOM1 by $\n"
    "LogCustom_2=CUSTOM2 by $\n"
    "LogCustom_3=CUSTOM3 by $\n"
    "LogUnknown=UNKNOWN from $\n"
    "LogAliveKo=ALIVE KO $ after $\n";

// Runs `argv` with standard output and error appended to `out`, waits for it.
int RunTo(const std::vector<std::string>& argv, const std::string& out) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0 || null < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0 || dup2(null, 0) < 0) _exit(126);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The "Name:" and "PPid:" of a process, and whether it is a zombie.
bool ReadProcess(pid_t pid, std::string* name, pid_t* parent, bool* zombie) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  if (!status) return false;
  std::string line;
  while (std::getline(status, line)) {
    std::istringstream fields(line);
    std::string key, value;
    fields >> key >> value;
    if (key == "Name:") *name = value;
    if (key == "PPid:") *parent = atoi(value.c_str());
    if (key == "State:") *zombie = value == "Z";
  }
  return true;
}

std::vector<pid_t> AllProcesses() {
  std::vector<pid_t> pids;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return pids;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = strtol(entry->d_name, &end, 10);
    if (pid > 0 && *end == '\0') pids.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return pids;
}

}  // namespace

std::string MessageEvent(const std::string& master) {
  return "MESSAGE by " + master;
}
std::string RefusedEvent(const std::string& address) {
  return "REFUSED " + address;
}

DaemonUnderTest::DaemonUnderTest(const std::map<std::string, std::string>& config) {
  char pattern[] = "/tmp/vmload.XXXXXX";
  if (mkdtemp(pattern) == nullptr) abort();
  root_ = pattern;
  for (const char* dir : {"bin", "languages", "data", "script/system", "rec"}) {
    std::filesystem::create_directories(Path(dir));
  }
  std::filesystem::copy_file(VM_QSLX_PATH, Path("bin/qslx"));
  chmod(Path("bin/qslx").c_str(), 0755);
  WriteWhole(Path("bin/voltmon.cfg"),
             "[Globals]\nInstallPath=" + root_ + "/\nLanguageFile=test.lng\n");
  WriteWhole(Path("languages/test.lng"), kLanguage);
  WriteWhole(Recorder(),
             "#!/bin/sh\nprintf '%s %s\\n' \"$#\" \"$1\" >> '" + Path("rec/record.txt") + "'\n",
             0755);
  WriteWhole(Path("script/system/chkfail.sh"),
             "#!/bin/sh\necho chkfail >> '" + Path("rec/chkfail.txt") + "'\n", 0755);

  std::map<std::string, std::string> keys = {{"AdrCount", "1"},
                                             {"Adr0", kAllowed},
                                             {"ListenPort", "6005"},
                                             {"AliveEnabled", "0"},
                                             {"ScriptShutdown", Recorder()},
                                             {"ScriptMessage", Recorder()},
                                             {"ScriptCustom_1", Recorder()},
                                             {"ScriptCustom_2", Recorder()},
                                             {"ScriptCustom_3", Recorder()},
                                             {"LogEnabled", "1"},
                                             {"LogMaxSize", "10000000"}};
  for (const auto& [key, value] : config) keys[key] = value;
  std::string text = "[QS System]\n";
  for (const auto& [key, value] : keys) text += key + "=" + value + "\n";
  WriteWhole(Path("bin/qslx.cfg"), text);
}

DaemonUnderTest::~DaemonUnderTest() {
  // A sanitizer build of the daemon reports into its output, not ours.
  const std::string output = Output();
  for (const char* report : {"WARNING: ThreadSanitizer", "ERROR: AddressSanitizer",
                             "ERROR: LeakSanitizer", "runtime error:"}) {
    if (output.find(report) != std::string::npos) ADD_FAILURE() << "the daemon said:\n" << output;
  }
  if (Running()) {
    kill(pid_, SIGKILL);
    WaitFor([this] { return !Running(); }, kStopTimeoutMs);
  }
  // Mounts a test made below the tree go with it.
  std::ifstream mounts("/proc/self/mounts");
  std::string device, where;
  std::vector<std::string> below;
  std::string rest;
  while (mounts >> device >> where && std::getline(mounts, rest)) {
    if (where.compare(0, root_.size() + 1, root_ + "/") == 0) below.push_back(where);
  }
  for (auto it = below.rbegin(); it != below.rend(); ++it) umount2(it->c_str(), MNT_DETACH);
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string DaemonUnderTest::Path(const std::string& relative) const {
  return root_ + "/" + relative;
}

bool DaemonUnderTest::Start() {
  if (RunTo({Path("bin/qslx")}, Path("qslx.out")) != 0) return false;
  return WaitFor(
      [this] {
        if (Output().find("daemon started") == std::string::npos) return false;
        for (pid_t pid : AllProcesses()) {
          std::string name;
          pid_t parent = -1;
          bool zombie = false;
          if (ReadProcess(pid, &name, &parent, &zombie) && name == "qslx" && parent == 1 &&
              !zombie) {
            pid_ = pid;
            return true;
          }
        }
        return false;
      },
      kStartTimeoutMs);
}

bool DaemonUnderTest::Stop() {
  if (RunTo({Path("bin/qslx"), "-s"}, Path("stop.out")) != 0) return false;
  return WaitFor([this] { return !Running(); }, kStopTimeoutMs);
}

bool DaemonUnderTest::Running() const {
  if (pid_ <= 0) return false;
  std::string name;
  pid_t parent = -1;
  bool zombie = false;
  return ReadProcess(pid_, &name, &parent, &zombie) && !zombie;
}

std::vector<std::string> DaemonUnderTest::LogLines() const {
  return Lines(ReadWhole(Path("data/qs_log.txt")));
}

std::vector<std::string> DaemonUnderTest::Records() const {
  return Lines(ReadWhole(Path("rec/record.txt")));
}

std::string DaemonUnderTest::Output() const {
  return ReadWhole(Path("qslx.out"));
}

std::vector<pid_t> DaemonUnderTest::ZombieChildren() const {
  std::vector<pid_t> zombies;
  for (pid_t pid : AllProcesses()) {
    std::string name;
    pid_t parent = -1;
    bool zombie = false;
    if (ReadProcess(pid, &name, &parent, &zombie) && parent == pid_ && zombie) {
      zombies.push_back(pid);
    }
  }
  return zombies;
}

int DaemonUnderTest::Children() const {
  int children = 0;
  for (pid_t pid : AllProcesses()) {
    std::string name;
    pid_t parent = -1;
    bool zombie = false;
    if (ReadProcess(pid, &name, &parent, &zombie) && parent == pid_) ++children;
  }
  return children;
}

Exchange GiveOrder(const std::string& line, const std::string& bind, int timeout_ms) {
  Exchange result;
  TcpConnection connection;
  int error = 0;
  if (!TcpConnect(kAllowed, kListenPort, timeout_ms, &connection, &error, bind)) return result;
  result.connected = true;
  std::string greeting;
  if (connection.ReadLine(&greeting, 4096, timeout_ms) != ReadStatus::kLine) return result;
  result.greeting = Descramble(greeting);
  connection.WriteLine(line);  // a refused caller's order may find the door shut
  std::string rest;
  ReadStatus status;
  do {
    status = connection.ReadLine(&rest, 1 << 20, timeout_ms);
  } while (status == ReadStatus::kLine);
  result.closed = status == ReadStatus::kClosed || status == ReadStatus::kError;
  return result;
}

std::string MessageOrder(const std::string& text) {
  return Scramble("<|1|1|" + text + "|>");
}

bool IsLogLine(const std::string& line, const std::string& text) {
  static const char kShape[] = "dd/dd/dddd dd:dd:dd  ";
  const size_t prefix = sizeof kShape - 1;
  if (line.size() < prefix) return false;
  for (size_t i = 0; i < prefix; ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (kShape[i] == 'd' ? !digit : line[i] != kShape[i]) return false;
  }
  const std::string rest = line.substr(prefix);
  if (!text.empty()) return rest == text;
  for (char c : rest) {
    if (static_cast<unsigned char>(c) < 32) return false;
  }
  return !rest.empty();
}

int CountEvents(const std::vector<std::string>& lines, const std::string& text) {
  int count = 0;
  for (const std::string& line : lines) count += IsLogLine(line, text) ? 1 : 0;
  return count;
}

bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  const int64_t deadline = NowMs() + timeout_ms;
  for (;;) {
    if (done()) return true;
    if (NowMs() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WriteWhole(const std::string& path, const std::string& content, mode_t mode) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) return false;
  }
  return chmod(path.c_str(), mode) == 0;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

bool Shell(const std::string& command) {
  const int status = system(command.c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

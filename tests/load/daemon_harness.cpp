// The load and fault tests' daemon: the shared harness with a lighter
// recorder for the orders' scripts, and a master's side of the wire over
// loopback.
#include "tests/load/daemon_harness.h"

#include <stdlib.h>
#include <sys/wait.h>

#include "common/scramble.h"
#include "gtest/gtest.h"
#include "tests/support/master_client.h"

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = kStopWithinMs + 3000;

}  // namespace

std::string MessageEvent(const std::string& master) {
  return "MESSAGE by " + master;
}
std::string RefusedEvent(const std::string& address) {
  return "REFUSED " + address;
}

TDaemonUnderTest::TDaemonUnderTest(const std::map<std::string, std::string>& config) {
  TConfigEntries& entries = run_.config();
  for (const char* script :
       {"ScriptShutdown", "ScriptMessage", "ScriptCustom_1", "ScriptCustom_2", "ScriptCustom_3"}) {
    SetEntry(&entries, script, Recorder());
  }
  SetEntry(&entries, "LogMaxSize", "10000000");
  for (const auto& [key, value] : config) SetEntry(&entries, key, value);
  std::string error;
  if (!run_.Build(VM_QSLX_PATH, &error)) {
    ADD_FAILURE() << error;
    return;
  }
  // Lighter than the tree's recorders, which the load would slow down.
  if (!WriteFile(Recorder(),
                 "#!/bin/sh\nprintf '%s %s\\n' \"$#\" \"$1\" >> '" + Path("rec/record.txt") + "'\n",
                 0755)) {
    ADD_FAILURE() << "cannot write " << Recorder();
  }
}

TDaemonUnderTest::~TDaemonUnderTest() {
  // A sanitizer build of the daemon reports into its output, not ours.
  const std::string output = Output();
  for (const char* report : {"WARNING: ThreadSanitizer", "ERROR: AddressSanitizer",
                             "ERROR: LeakSanitizer", "runtime error:"}) {
    if (output.find(report) != std::string::npos) ADD_FAILURE() << "the daemon said:\n" << output;
  }
}

bool TDaemonUnderTest::Start() {
  std::string error;
  if (run_.Start({}, kStartTimeoutMs, &error)) return true;
  ADD_FAILURE() << error;
  return false;
}

bool TDaemonUnderTest::Stop() {
  return run_.Stop(kStopTimeoutMs);
}

std::vector<std::string> TDaemonUnderTest::Records() const {
  return LinesOf(ReadFile(Path("rec/record.txt")));
}

std::vector<pid_t> TDaemonUnderTest::ZombieChildren() const {
  std::vector<pid_t> zombies;
  for (pid_t pid : ChildrenOf(pid())) {
    if (ProcStatusField(pid, "State").compare(0, 1, "Z") == 0) zombies.push_back(pid);
  }
  return zombies;
}

TExchange GiveOrder(const std::string& line, const std::string& bind, int timeout_ms) {
  TOrderOptions options;
  options.port = kListenPort;
  options.host = kAllowed;
  options.bind_address = bind;
  options.timeout_ms = timeout_ms;
  options.line_end = "\r\n";
  const TOrderResult order = ExchangeLine(options, line);
  TExchange result;
  result.connected = order.connected;
  result.greeting = order.greeting;
  result.closed = order.closed_by_peer;
  return result;
}

std::string MessageOrder(const std::string& text) {
  return Scramble("<|1|1|" + text + "|>");
}

bool IsLogLine(const std::string& line, const std::string& text) {
  std::string rest;
  if (!ParseLogLine(line, &rest)) return false;
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

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

bool Shell(const std::string& command) {
  const int status = system(command.c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

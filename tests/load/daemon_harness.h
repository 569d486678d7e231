// A real daemon for load and fault tests: the shared daemon harness
// (tests/support/daemon_run.h) on the fixed port with every order's script a
// light recorder, a master's side of the wire, and what the scripts and the
// event log left behind.
#ifndef VOLTMON_TESTS_LOAD_DAEMON_HARNESS_H_
#define VOLTMON_TESTS_LOAD_DAEMON_HARNESS_H_

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/clock.h"
#include "tests/support/daemon_run.h"
#include "tests/support/daemon_tree.h"
#include "tests/support/slowdown.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

// How soon the daemon must be gone after "-s". ThreadSanitizer holds back a
// signal until the receiving thread next enters a call it intercepts, so
// under it the daemon may heed "-s" only when its 10-second sleep ends.
#ifdef VM_TESTS_TSAN
constexpr int kStopWithinMs = 15000;
#else
constexpr int kStopWithinMs = 2000;
#endif

constexpr uint16_t kListenPort = 6005;
constexpr char kAllowed[] = "127.0.0.1";
constexpr char kRefused[] = "127.0.0.2";

// The event texts of the test language file (kTestLanguage), "$" filled.
std::string MessageEvent(const std::string& master);   // "MESSAGE by $"
std::string RefusedEvent(const std::string& address);  // "REFUSED $"

class TDaemonUnderTest {
 public:
  // `config` overrides or adds keys of section "QS System" of "bin/qslx.cfg";
  // the defaults admit 127.0.0.1 and point every order's script at the
  // recorder.
  explicit TDaemonUnderTest(const std::map<std::string, std::string>& config = {});
  ~TDaemonUnderTest();  // fails on a sanitizer report in the output; kills the daemon
  TDaemonUnderTest(const TDaemonUnderTest&) = delete;
  TDaemonUnderTest& operator=(const TDaemonUnderTest&) = delete;

  // Starts bin/qslx and waits for "daemon started" and its process id.
  bool Start();
  // "qslx -s", then waits until the process is gone.
  bool Stop();
  pid_t pid() const { return run_.pid(); }
  bool Running() const { return run_.Running(); }

  // Below the installation tree, such as "data/qs_log.txt".
  std::string Path(const std::string& relative) const { return tree().root() + relative; }
  // The recorder of the orders' scripts: notes "<argc> <argv[1]>" per start.
  std::string Recorder() const { return tree().Script("record.sh"); }
  const TDaemonTree& tree() const { return run_.tree(); }
  std::vector<std::string> LogLines() const { return run_.LogLines(); }
  std::vector<std::string> Records() const;
  std::string Output() const { return run_.Output(); }  // what the daemon printed

  // The children of the daemon that are zombies, and all its children.
  std::vector<pid_t> ZombieChildren() const;
  int Children() const { return static_cast<int>(ChildrenOf(pid()).size()); }

 private:
  TDaemonRun run_{"vmload", kListenPort};
};

// One order as a master gives it: connect (from `bind`, "" for any), read
// the greeting, send `line` as it is plus CR LF, wait until the daemon closes;
// `timeout_ms` bounds the whole exchange (ExchangeLine of master_client.h).
struct TExchange {
  bool connected = false;
  std::string greeting;  // descrambled
  bool closed = false;   // the daemon closed within the time limit
};
TExchange GiveOrder(const std::string& line, const std::string& bind = "", int timeout_ms = 5000);

// The scrambled request line for a message order.
std::string MessageOrder(const std::string& text);

// True when `line` is "dd/MM/yyyy hh:mm:ss  " followed by `text` exactly,
// or, with an empty `text`, by any text without control characters.
bool IsLogLine(const std::string& line, const std::string& text = "");

// Counts the lines equal to IsLogLine(line, text).
int CountEvents(const std::vector<std::string>& lines, const std::string& text);

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

// Runs a shell command line (for mounts); true when it exited with 0.
bool Shell(const std::string& command);

#endif  // VOLTMON_TESTS_LOAD_DAEMON_HARNESS_H_

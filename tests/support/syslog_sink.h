// The system log of a test's mount namespace: a datagram socket bound at
// /dev/log that keeps every line the programs started afterwards log with
// syslog(3). /dev may not hold a log socket at all, and the host's /dev must
// stay untouched, so /dev is shadowed (TShadowDir) and the socket put beside
// the host's entries. Only in a private mount namespace.
#ifndef VOLTMON_TESTS_SUPPORT_SYSLOG_SINK_H_
#define VOLTMON_TESTS_SUPPORT_SYSLOG_SINK_H_

#include <string>
#include <vector>

#include "tests/support/shadow_dir.h"

// One logged line, as the C library sends it: "<PRI>Mmm dd hh:mm:ss
// IDENT[PID]: TEXT" (the "[PID]" only with LOG_PID).
struct TSyslogLine {
  int facility = -1;  // LOG_DAEMON >> 3 is 3
  int severity = -1;  // LOG_ERR 3 ... LOG_DEBUG 7
  std::string ident;
  std::string text;
  std::string raw;
};

// The line's fields; false (only `raw` set) when it has not that form.
bool ParseSyslogLine(const std::string& raw, TSyslogLine* line);

class TSyslogSink {
 public:
  // `dir` is an existing directory where the host's /dev stays reachable
  // while the sink is in place.
  explicit TSyslogSink(const std::string& dir);
  ~TSyslogSink();  // Stop()
  TSyslogSink(const TSyslogSink&) = delete;
  TSyslogSink& operator=(const TSyslogSink&) = delete;

  // Puts the new /dev in place and binds the socket. False with `*error` set.
  bool Start(std::string* error);
  // Closes the socket and gives the namespace its /dev back.
  void Stop();

  // Every line received so far, in order.
  std::vector<TSyslogLine> Lines();
  // Waits until a line with `ident` whose text contains `text` came.
  bool WaitForLine(const std::string& ident, const std::string& text, int timeout_ms);

 private:
  TShadowDir dev_;
  int fd_ = -1;
  std::vector<TSyslogLine> lines_;
};

#endif  // VOLTMON_TESTS_SUPPORT_SYSLOG_SINK_H_

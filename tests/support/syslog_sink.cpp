// The system log sink. Nothing reads the socket in the background: the
// datagrams wait in the socket's buffer until Lines drains it, which holds
// far more than a test logs.

#include "tests/support/syslog_sink.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr char kLogSocket[] = "/dev/log";

std::string Failure(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

bool ParseSyslogLine(const std::string& raw, TSyslogLine* line) {
  *line = TSyslogLine();
  line->raw = raw;
  size_t close = raw.find('>');
  if (raw.empty() || raw[0] != '<' || close == std::string::npos || close < 2) return false;
  int priority = 0;
  for (size_t i = 1; i < close; ++i) {
    if (raw[i] < '0' || raw[i] > '9') return false;
    priority = priority * 10 + (raw[i] - '0');
  }
  // "Mmm dd hh:mm:ss " is 16 characters.
  const size_t tag = close + 1 + 16;
  size_t colon = raw.find(": ", tag);
  if (raw.size() < tag || colon == std::string::npos) return false;
  std::string ident = raw.substr(tag, colon - tag);
  size_t bracket = ident.find('[');
  if (bracket != std::string::npos) ident.erase(bracket);
  line->facility = priority >> 3;
  line->severity = priority & 7;
  line->ident = ident;
  line->text = raw.substr(colon + 2);
  while (!line->text.empty() && line->text.back() == '\n') line->text.pop_back();
  return true;
}

TSyslogSink::TSyslogSink(const std::string& dir) : dev_("/dev", dir + "/host-dev") {}

TSyslogSink::~TSyslogSink() {
  Stop();
}

bool TSyslogSink::Start(std::string* error) {
  // A socket left there by the host would be in the way.
  if (!dev_.Start(error, "log")) return false;
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) {
    *error = Failure("socket");
    return false;
  }
  struct sockaddr_un address;
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, kLogSocket, sizeof address.sun_path - 1);
  if (bind(fd_, reinterpret_cast<struct sockaddr*>(&address), sizeof address) != 0 ||
      chmod(kLogSocket, 0666) != 0) {
    *error = Failure(std::string("bind ") + kLogSocket);
    return false;
  }
  return true;
}

void TSyslogSink::Stop() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  dev_.Stop();
}

std::vector<TSyslogLine> TSyslogSink::Lines() {
  char buffer[8192];
  while (fd_ >= 0) {
    ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;  // EAGAIN: drained
    TSyslogLine line;
    ParseSyslogLine(std::string(buffer, static_cast<size_t>(n)), &line);
    lines_.push_back(line);
  }
  return lines_;
}

bool TSyslogSink::WaitForLine(const std::string& ident, const std::string& text, int timeout_ms) {
  return WaitUntil(
      [&] {
        for (const TSyslogLine& line : Lines()) {
          if (line.ident == ident && line.text.find(text) != std::string::npos) return true;
        }
        return false;
      },
      timeout_ms, 20);
}

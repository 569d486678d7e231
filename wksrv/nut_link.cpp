// The NUT client. A poll keeps its connection to upsd from one poll to the
// next, and asks either for every variable or for the status alone
// (reading_cache.h); any failure of the connection
// itself drops it and the next poll connects anew. The commands of the own
// shutdown are rare and may come from a job's thread: each opens, logs in,
// gives its one command and closes a connection of its own.
#include "wksrv/nut_link.h"

#include <stdlib.h>
#include <string.h>
#include <sys/time.h>

#include <mutex>

#include "common/clock.h"
#include "wksrv/reading_cache.h"

// upsclient.h uses both without including them.
#include <stdint.h>
#include <time.h>

#include <upsclient.h>

namespace {

// Between two questions for the driver's result of a command.
constexpr int kTrackingPauseMs = 50;

// Connecting and disconnecting may touch the library's process-wide state
// (its TLS set-up), and a command's connection may be made beside a poll's.
std::mutex g_connect_lock;

// An argument of the NUT protocol, quoted; false for a line break, which
// would end the command early.
bool Quote(const std::string& text, std::string* quoted) {
  if (text.find_first_of("\r\n") != std::string::npos) return false;
  *quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') *quoted += '\\';
    *quoted += c;
  }
  *quoted += '"';
  return true;
}

// The library's reason for the last failure on `conn`.
std::string Reason(UPSCONN_t* conn) {
  const char* text = upscli_strerror(conn);
  return text != nullptr ? text : "unknown error";
}

// Failures after which the connection itself is still sound.
bool ConnectionSound(int upserror) {
  switch (upserror) {
    case UPSCLI_ERR_DATASTALE:
    case UPSCLI_ERR_DRVNOTCONN:
    case UPSCLI_ERR_UNKNOWNUPS:
    case UPSCLI_ERR_VARNOTSUPP:
      return true;
    default:
      return false;
  }
}

}  // namespace

struct TNutLink::TImpl {
  std::string name;  // the UPS's name at upsd
  std::string host;
  uint16_t port = 0;
  std::string invalid;  // why NutUps is unusable; empty when it is fine
  std::string user;
  std::string password;
  int connect_timeout_ms = 0;
  time_t io_timeout_s = 0;
  UPSCONN_t poll_conn;
  bool connected = false;
  TReadingCache cache;  // the poll connection's last listing

  bool Connect(UPSCONN_t* conn, std::string* error) {
    memset(conn, 0, sizeof *conn);
    timeval limit = {connect_timeout_ms / 1000, (connect_timeout_ms % 1000) * 1000};
    std::lock_guard<std::mutex> lock(g_connect_lock);
    if (upscli_tryconnect(conn, host.c_str(), port, 0, &limit) != 0) {
      *error = "upsd " + host + ":" + std::to_string(port) + ": " + Reason(conn);
      upscli_disconnect(conn);
      return false;
    }
    return true;
  }

  static void Disconnect(UPSCONN_t* conn) {
    std::lock_guard<std::mutex> lock(g_connect_lock);
    upscli_disconnect(conn);
  }

  // Sends `line` and reads the answer into `*answer`; true for one
  // starting "OK".
  bool Exchange(UPSCONN_t* conn, const std::string& line, std::string* answer, std::string* error) {
    const std::string sent = line + "\n";
    if (upscli_sendline_timeout(conn, sent.c_str(), sent.size(), io_timeout_s) < 0) {
      *error = Reason(conn);
      return false;
    }
    char buffer[UPSCLI_NETBUF_LEN] = {};
    if (upscli_readline_timeout(conn, buffer, sizeof buffer, io_timeout_s) < 0) {
      *error = Reason(conn);
      return false;
    }
    *answer = buffer;
    while (!answer->empty() && (answer->back() == '\n' || answer->back() == '\r')) {
      answer->pop_back();
    }
    if (answer->compare(0, 2, "OK") == 0) return true;
    *error = "upsd answered \"" + *answer + "\"";
    return false;
  }

  // upsd answers "OK" to a SET or INSTCMD as soon as it has passed it on;
  // with tracking it tells what the driver made of it. Waits for that
  // result, bounded by the time limit of a line.
  bool AwaitDriver(UPSCONN_t* conn, const std::string& answer, std::string* error) {
    const std::string prefix = "OK TRACKING ";
    if (answer.compare(0, prefix.size(), prefix) != 0) return true;  // no tracking
    const std::string query = "GET TRACKING " + answer.substr(prefix.size());
    const int64_t deadline = NowMs() + static_cast<int64_t>(io_timeout_s) * 1000;
    for (;;) {
      // "PENDING" or "SUCCESS"; an "ERR ..." is the driver's refusal,
      // which Exchange has put into `*error`, as any failure to ask.
      std::string result;
      if (Exchange(conn, query, &result, error) || result == "SUCCESS") return true;
      if (result != "PENDING") return false;
      if (NowMs() >= deadline) {
        *error = "the UPS driver gave no result in time";
        return false;
      }
      SleepMs(kTrackingPauseMs);
    }
  }

  // Logs in on a connection of its own and gives `command` (its arguments
  // quoted already), waiting for the driver's result where upsd tracks it.
  bool Command(const std::string& command, std::string* error) {
    if (!invalid.empty()) {
      *error = invalid;
      return false;
    }
    if (user.empty()) {
      *error = "no NUT account (NutUser) configured";
      return false;
    }
    std::string quoted_user, quoted_password;
    if (!Quote(user, &quoted_user) || !Quote(password, &quoted_password)) {
      *error = "the NUT account holds a line break";
      return false;
    }
    UPSCONN_t conn;
    if (!Connect(&conn, error)) return false;
    std::string answer, ignored;
    bool done = Exchange(&conn, "USERNAME " + quoted_user, &answer, error) &&
                Exchange(&conn, "PASSWORD " + quoted_password, &answer, error);
    // An upsd without tracking refuses to turn it on; the command goes
    // without it then.
    if (done) Exchange(&conn, "SET TRACKING ON", &answer, &ignored);
    done = done && Exchange(&conn, command, &answer, error) && AwaitDriver(&conn, answer, error);
    Disconnect(&conn);
    return done;
  }

  void Drop() {
    if (connected) Disconnect(&poll_conn);
    connected = false;
  }

  // One LIST VAR of every variable, kept in the cache; false when upsd could
  // not answer it.
  bool List(TReadingCache::TVars* vars) {
    const char* query[] = {"VAR", name.c_str()};
    vars->clear();
    if (upscli_list_start(&poll_conn, 2, query) != 0) return false;
    size_t count = 0;
    char** answer = nullptr;
    int next;
    while ((next = upscli_list_next(&poll_conn, 2, query, &count, &answer)) == 1) {
      if (count >= 4) (*vars)[answer[2]] = answer[3];
    }
    if (next != 0) return false;
    cache.TakeList(*vars);
    return true;
  }

  // One GET VAR of ups.status, over the cache's last listing.
  bool GetStatus(TReadingCache::TVars* vars) {
    const char* query[] = {"VAR", name.c_str(), "ups.status"};
    size_t count = 0;
    char** answer = nullptr;
    if (upscli_get(&poll_conn, 3, query, &count, &answer) != 0) return false;
    *vars = cache.WithStatus(count >= 4 ? answer[3] : "");
    return true;
  }
};

TNutLink::TNutLink(const TMasterSettings& settings, int connect_timeout_ms, int io_timeout_s)
    : impl_(std::make_unique<TImpl>()) {
  impl_->user = settings.NutUser;
  impl_->password = settings.NutPassword;
  impl_->connect_timeout_ms = connect_timeout_ms;
  impl_->io_timeout_s = io_timeout_s;
  char* name = nullptr;
  char* host = nullptr;
  uint16_t port = 0;
  // The library's parser is given only the one form it reads right.
  if (!NutUpsWellFormed(settings.NutUps) ||
      upscli_splitname(settings.NutUps.c_str(), &name, &host, &port) != 0 || name == nullptr ||
      host == nullptr || *name == '\0' || *host == '\0') {
    impl_->invalid = "NutUps \"" + settings.NutUps + "\" is not of the form name@host[:port]";
  } else {
    impl_->name = name;
    impl_->host = host;
    impl_->port = port;
  }
  free(name);
  free(host);
}

TNutLink::~TNutLink() {
  impl_->Drop();
}

bool TNutLink::Valid(std::string* error) const {
  *error = impl_->invalid;
  return impl_->invalid.empty();
}

TUpsReading TNutLink::Poll(bool list_all) {
  TUpsReading reading;
  if (!impl_->invalid.empty()) {
    reading.error = impl_->invalid;
    return reading;
  }
  if (!impl_->connected) {
    if (!impl_->Connect(&impl_->poll_conn, &reading.error)) return reading;
    impl_->connected = true;
  }
  TReadingCache& cache = impl_->cache;
  const bool listing = list_all || cache.NeedsList();
  bool asked = listing ? impl_->List(&reading.vars) : impl_->GetStatus(&reading.vars);
  if (asked && !listing && TReadingCache::StatusWantsList(reading.vars["ups.status"])) {
    asked = impl_->List(&reading.vars);
  }
  if (!asked) {
    reading.error = "UPS " + impl_->name + "@" + impl_->host + ": " + Reason(&impl_->poll_conn);
    reading.vars.clear();
    cache.Forget();
    if (!ConnectionSound(upscli_upserror(&impl_->poll_conn))) impl_->Drop();
    return reading;
  }
  auto status = reading.vars.find("ups.status");
  if (status == reading.vars.end() || status->second == "WAIT" || status->second.empty()) {
    reading.error = "UPS " + impl_->name + "@" + impl_->host + ": no status from its driver yet";
    reading.vars.clear();
    cache.Forget();
    return reading;
  }
  reading.reachable = true;
  return reading;
}

bool TNutLink::SetVariable(const std::string& name, const std::string& value, std::string* error) {
  std::string quoted_name, quoted_value;
  if (!Quote(name, &quoted_name) || !Quote(value, &quoted_value)) {
    *error = "a line break in the variable or its value";
    return false;
  }
  return impl_->Command("SET VAR " + impl_->name + " " + quoted_name + " " + quoted_value, error);
}

bool TNutLink::InstantCommand(const std::string& name, std::string* error) {
  std::string quoted_name;
  if (!Quote(name, &quoted_name)) {
    *error = "a line break in the command";
    return false;
  }
  return impl_->Command("INSTCMD " + impl_->name + " " + quoted_name, error);
}

// Loopback stand-ins for a master server: a client that gives the daemon an
// order as a master would, and an alive service that answers (or does not
// answer) the daemon's alive checks. Own small socket code, so that the tests
// do not lean on the networking layer they are testing.
#ifndef VOLTMON_TESTS_SUPPORT_MASTER_CLIENT_H_
#define VOLTMON_TESTS_SUPPORT_MASTER_CLIENT_H_

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct TOrderOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 0;
  std::string bind_address;  // not empty: the local end, to act as another host
  int timeout_ms = 3000;     // for the connect, the greeting and the close
  std::string line_end = "\n";
};

struct TOrderResult {
  bool connected = false;
  int error = 0;             // errno of a failed connect
  std::string raw_greeting;  // the first line as received, without CR LF
  std::string greeting;      // the same, descrambled
  bool greeting_had_crlf = false;
  bool closed_by_peer = false;  // the daemon closed the connection in time
  std::string after_greeting;   // anything received after the greeting
};

// Connects, reads the greeting line and, when `line` is given, sends it
// exactly as given followed by `line_end`, then reads until the daemon closes
// the connection (or the time limit). Without `line` the connection is closed
// right after the greeting.
TOrderResult ExchangeLine(const TOrderOptions& options, const std::optional<std::string>& line);

// ExchangeLine with the scrambled `frame`.
TOrderResult SendFrame(const TOrderOptions& options, const std::string& frame);

// Connects and returns the open socket without reading anything; -1 on
// failure. The caller closes it.
int ConnectOnly(const TOrderOptions& options);

// A listening TCP socket on address:port (SO_REUSEADDR); -1 on failure.
int ListenOn(const std::string& address, uint16_t port);

// An alive service of a master: for every connection reads one line and
// answers the scrambled reply frame, or nothing when silent (holding the
// connection open until stopped).
class TFakeAliveServer {
 public:
  TFakeAliveServer(const std::string& address, uint16_t port, const std::string& reply_frame,
                   bool silent = false);
  ~TFakeAliveServer();
  TFakeAliveServer(const TFakeAliveServer&) = delete;
  TFakeAliveServer& operator=(const TFakeAliveServer&) = delete;

  // Binds and starts serving; false with `*error` set.
  bool Start(std::string* error);
  void Stop();

  // The descrambled request lines received so far, one per connection.
  std::vector<std::string> Requests() const;

 private:
  void Serve();

  std::string address_;
  uint16_t port_;
  std::string reply_;
  bool silent_;
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
};

#endif  // VOLTMON_TESTS_SUPPORT_MASTER_CLIENT_H_

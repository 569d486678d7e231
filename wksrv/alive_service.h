// The alive service: with QsAliveEnabled, answers the slaves' alive checks on
// QsAlivePort from a thread of its own: each scrambled "<|5|>" line gets the
// scrambled "<|5|Vantrel Wattkeep|>"; any other line, or a caller silent for
// the request time limit, ends the connection. qsmaster's "serve-alive" runs
// the same service with its test options.
#ifndef VOLTMON_WKSRV_ALIVE_SERVICE_H_
#define VOLTMON_WKSRV_ALIVE_SERVICE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The clear request of an alive check and the master's answer.
extern const char kAliveRequest[];  // "<|5|>"
extern const char kAliveReply[];    // "<|5|Vantrel Wattkeep|>"

// Whether the clear `frame` is an alive check: "<|5|>", blanks around the
// field allowed as the frame rules allow them.
bool IsAliveRequest(const std::string& frame);

struct TAliveOptions {
  uint16_t port = 0;  // 0: one the kernel chooses (see BoundPort)
  std::string bind;   // a local IPv4 address; empty: every address
  std::string reply = kAliveReply;
  bool silent = false;             // answer nothing and hold the connection (tests)
  int request_timeout_ms = 10000;  // a caller silent this long is let go
  // Called on the service's thread with one line per ended exchange, such
  // as "127.0.0.1: <|5|> -> <|5|Vantrel Wattkeep|>"; may be empty.
  std::function<void(const std::string&)> report;
};

class TAliveService {
 public:
  TAliveService();
  ~TAliveService();  // Stop()
  // Listens on `port` (every address) and answers until Stop. 0, or the
  // system error number when the port cannot be taken.
  int Start(uint16_t port);
  int Start(const TAliveOptions& options);
  // Ends the thread and closes every connection within about a second.
  void Stop();
  // The port listened on while started; 0 otherwise.
  uint16_t BoundPort() const;
  // Waits up to `timeout_ms` until `count` callers have been dealt with
  // (their first request answered or refused, or they were let go without
  // one); whether they have.
  bool WaitServed(int64_t count, int timeout_ms);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

#endif  // VOLTMON_WKSRV_ALIVE_SERVICE_H_

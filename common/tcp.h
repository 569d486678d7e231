// Line-oriented TCP over POSIX sockets: one connection, a client connect with
// a time limit, and reads and writes of whole lines. IPv4 only.
#ifndef VOLTMON_COMMON_TCP_H_
#define VOLTMON_COMMON_TCP_H_

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Why a line read ended without a line.
enum class TReadStatus { kLine, kClosed, kTimeout, kTooLong, kError };

// An open TCP connection; closes its socket when destroyed. Movable only.
class TTcpConnection {
 public:
  TTcpConnection() = default;
  explicit TTcpConnection(int fd) : fd_(fd) {}
  // An accepted connection whose peer `peer` is already known (from accept):
  // it is kept, and asked of the kernel no more.
  TTcpConnection(int fd, const sockaddr_in& peer) : fd_(fd), peer_(peer), peer_known_(true) {}
  ~TTcpConnection();
  TTcpConnection(TTcpConnection&& other) noexcept;
  TTcpConnection& operator=(TTcpConnection&& other) noexcept;
  TTcpConnection(const TTcpConnection&) = delete;
  TTcpConnection& operator=(const TTcpConnection&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Reads up to a line feed and drops one carriage return before it. Waits at
  // most `timeout_ms` in all (negative: no limit); a line longer than
  // `max_length` bytes ends the read with kTooLong. A `wake_fd` (not
  // negative) that becomes readable ends the wait with kError.
  TReadStatus ReadLine(std::string* line, size_t max_length, int timeout_ms, int wake_fd = -1);

  // Writes `line` followed by CR LF; false when not all could be written.
  bool WriteLine(const std::string& line);

  // The peer's IPv4 address in dotted form; empty when unknown. Once known
  // from accept it stays known after the peer has reset the connection.
  std::string PeerAddress() const;
  // The peer's end: false when unknown or not IPv4.
  bool PeerEnd(sockaddr_in* peer) const;

  // Shuts the connection down in both directions (wakes a blocked reader).
  void Shutdown();
  void Close();

 private:
  int fd_ = -1;
  std::string pending_;  // bytes read past the last line
  sockaddr_in peer_{};
  bool peer_known_ = false;
};

// Errors of TcpConnect beside the errno values: the name did not resolve, or
// the resolver gave no answer within the time limit.
constexpr int kTcpNameUnknown = -1;
constexpr int kTcpNameNoAnswer = -2;

// Connects to `host`:`port` within `timeout_ms`, the name's lookup included.
// With `bind_address` not empty the local end is bound to it first (tests
// act as another host). On failure returns false and sets `*error` to the
// errno (ETIMEDOUT for the time limit, EINTR when `wake_fd`, not negative,
// became readable during the wait) or to one of the two name errors above.
bool TcpConnect(const std::string& host, uint16_t port, int timeout_ms, TTcpConnection* connection,
                int* error, const std::string& bind_address = "", int wake_fd = -1);

// The text of a TcpConnect error for `host`: "cannot resolve NAME" for the
// name errors, the system's text for the others.
std::string TcpConnectErrorText(int error, const std::string& host);

#endif  // VOLTMON_COMMON_TCP_H_

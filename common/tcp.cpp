// One TCP connection over POSIX sockets, read and written as whole lines, and
// the client side: a connect whose time limit bounds the name's lookup too.
// Reads wait with poll against a monotonic deadline, so that a signal or a
// slow peer never stretches a limit; every call retries EINTR itself.
#include "common/tcp.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "common/clock.h"
#include "common/resolve.h"

namespace {

// The poll timeout left until `deadline_ms`; -1 (no limit) when it is -1.
int RemainingMs(int64_t deadline_ms) {
  if (deadline_ms < 0) return -1;
  int64_t left = deadline_ms - NowMs();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

int64_t DeadlineAfter(int timeout_ms) {
  return timeout_ms < 0 ? -1 : NowMs() + timeout_ms;
}

// Waits until `fd` is ready for `events`: 1 ready, 0 time is up, -1 error,
// -2 when `wake_fd` (ignored when negative) became readable first.
int WaitReady(int fd, short events, int64_t deadline_ms, int wake_fd = -1) {
  for (;;) {
    pollfd p[2] = {{fd, events, 0}, {wake_fd, POLLIN, 0}};
    int r = poll(p, wake_fd >= 0 ? 2 : 1, RemainingMs(deadline_ms));
    if (r > 0 && wake_fd >= 0 && p[1].revents != 0) return -2;
    if (r > 0) return 1;
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

bool SetBlocking(int fd, bool blocking) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return fcntl(fd, F_SETFL, flags) == 0;
}

bool ParseDotted(const std::string& text, in_addr* address) {
  return inet_pton(AF_INET, text.c_str(), address) == 1;
}

}  // namespace

TTcpConnection::~TTcpConnection() {
  Close();
}

TTcpConnection::TTcpConnection(TTcpConnection&& other) noexcept
    : fd_(other.fd_),
      pending_(std::move(other.pending_)),
      peer_(other.peer_),
      peer_known_(other.peer_known_) {
  other.fd_ = -1;
  other.peer_known_ = false;
}

TTcpConnection& TTcpConnection::operator=(TTcpConnection&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    pending_ = std::move(other.pending_);
    peer_ = other.peer_;
    peer_known_ = other.peer_known_;
    other.fd_ = -1;
    other.peer_known_ = false;
  }
  return *this;
}

TReadStatus TTcpConnection::ReadLine(std::string* line, size_t max_length, int timeout_ms,
                                     int wake_fd) {
  line->clear();
  if (fd_ < 0) return TReadStatus::kError;
  const int64_t deadline = DeadlineAfter(timeout_ms);
  size_t scanned = 0;
  for (;;) {
    size_t lf = pending_.find('\n', scanned);
    if (lf != std::string::npos) {
      size_t end = lf;
      if (end > 0 && pending_[end - 1] == '\r') --end;
      if (end > max_length) return TReadStatus::kTooLong;
      line->assign(pending_, 0, end);
      pending_.erase(0, lf + 1);
      return TReadStatus::kLine;
    }
    // One byte of slack for the carriage return that may precede the LF.
    if (pending_.size() > max_length + 1) return TReadStatus::kTooLong;
    scanned = pending_.size();

    int ready = WaitReady(fd_, POLLIN, deadline, wake_fd);
    if (ready == 0) return TReadStatus::kTimeout;
    if (ready < 0) return TReadStatus::kError;
    char buffer[1024];
    ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      pending_.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      return TReadStatus::kClosed;
    } else if (errno == ECONNRESET || errno == ENOTCONN || errno == EPIPE) {
      return TReadStatus::kClosed;
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return TReadStatus::kError;
    }
  }
}

bool TTcpConnection::WriteLine(const std::string& line) {
  if (fd_ < 0) return false;
  std::string data = line + "\r\n";
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n >= 0) {
      done += static_cast<size_t>(n);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (WaitReady(fd_, POLLOUT, -1) < 0) return false;
    } else if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

bool TTcpConnection::PeerEnd(sockaddr_in* peer) const {
  if (fd_ < 0) return false;
  if (peer_known_) {
    *peer = peer_;
    return peer_.sin_family == AF_INET;
  }
  socklen_t length = sizeof *peer;
  std::memset(peer, 0, sizeof *peer);
  if (getpeername(fd_, reinterpret_cast<sockaddr*>(peer), &length) != 0) return false;
  return peer->sin_family == AF_INET;
}

std::string TTcpConnection::PeerAddress() const {
  sockaddr_in address;
  if (!PeerEnd(&address)) return "";
  char text[INET_ADDRSTRLEN];
  if (inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) return "";
  return text;
}

void TTcpConnection::Shutdown() {
  if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

void TTcpConnection::Close() {
  if (fd_ >= 0) {
    // On Linux the descriptor is gone even when close reports EINTR, so a
    // retry could close a descriptor another thread has just been given.
    close(fd_);
    fd_ = -1;
  }
  pending_.clear();
}

bool TcpConnect(const std::string& host, uint16_t port, int timeout_ms, TTcpConnection* connection,
                int* error, const std::string& bind_address, int wake_fd) {
  connection->Close();
  *error = 0;
  const int64_t deadline = DeadlineAfter(timeout_ms < 0 ? 0 : timeout_ms);

  std::string dotted;
  switch (ResolveIPv4Within(host, RemainingMs(deadline), &dotted, wake_fd)) {
    case TResolveResult::kResolved:
      break;
    case TResolveResult::kInterrupted:
      *error = EINTR;
      return false;
    case TResolveResult::kNoAnswer:
    case TResolveResult::kPending:
      *error = kTcpNameNoAnswer;
      return false;
    case TResolveResult::kUnknown:
      *error = kTcpNameUnknown;
      return false;
  }
  sockaddr_in remote;
  memset(&remote, 0, sizeof remote);
  remote.sin_family = AF_INET;
  remote.sin_port = htons(port);
  if (!ParseDotted(dotted, &remote.sin_addr)) {
    *error = kTcpNameUnknown;
    return false;
  }

  TTcpConnection socket_owner(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  const int fd = socket_owner.fd();
  if (fd < 0) {
    *error = errno;
    return false;
  }
  if (!bind_address.empty()) {
    sockaddr_in local;
    memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    if (!ParseDotted(bind_address, &local.sin_addr)) {
      *error = EADDRNOTAVAIL;
      return false;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      *error = errno;
      return false;
    }
  }

  if (connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
    // EINTR leaves the connect going on in the background, like EINPROGRESS.
    if (errno != EINPROGRESS && errno != EINTR) {
      *error = errno;
      return false;
    }
    int ready = WaitReady(fd, POLLOUT, deadline, wake_fd);
    if (ready == 0) {
      *error = ETIMEDOUT;
      return false;
    }
    if (ready == -2) {
      *error = EINTR;
      return false;
    }
    if (ready < 0) {
      *error = errno;
      return false;
    }
    int so_error = 0;
    socklen_t length = sizeof so_error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &length) != 0) {
      *error = errno;
      return false;
    }
    if (so_error != 0) {
      *error = so_error;
      return false;
    }
  }
  if (!SetBlocking(fd, true)) {
    *error = errno;
    return false;
  }
  *connection = std::move(socket_owner);
  return true;
}

std::string TcpConnectErrorText(int error, const std::string& host) {
  if (error == kTcpNameUnknown) return "cannot resolve " + host;
  if (error == kTcpNameNoAnswer) return "cannot resolve " + host + " (no answer in time)";
  return std::strerror(error);
}

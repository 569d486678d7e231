// Client and alive-service stand-ins for the daemon's system tests. Every
// wait is bounded by poll time limits, so a daemon that misbehaves makes a
// test fail instead of hang.

#include "tests/support/master_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/clock.h"
#include "common/scramble.h"

namespace {

bool FillAddress(const std::string& address, uint16_t port, sockaddr_in* sa) {
  std::memset(sa, 0, sizeof *sa);
  sa->sin_family = AF_INET;
  sa->sin_port = htons(port);
  return inet_pton(AF_INET, address.c_str(), &sa->sin_addr) == 1;
}

// Waits until `fd` is readable; false on time out or error.
bool WaitReadable(int fd, int64_t deadline) {
  for (;;) {
    int left = static_cast<int>(deadline - NowMs());
    if (left < 0) return false;
    struct pollfd pfd = {fd, POLLIN, 0};
    int ready = poll(&pfd, 1, left);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

// Reads into `buffer` until it holds a line feed, the peer closes or the
// deadline passes; 1 line, 0 closed, -1 timeout or error.
int ReadUntilLine(int fd, std::string* buffer, int64_t deadline) {
  while (buffer->find('\n') == std::string::npos) {
    if (!WaitReadable(fd, deadline)) return -1;
    char chunk[512];
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) return 0;
    buffer->append(chunk, static_cast<size_t>(n));
  }
  return 1;
}

bool SendAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int ConnectOnly(const TOrderOptions& options) {
  sockaddr_in peer;
  if (!FillAddress(options.host, options.port, &peer)) return -1;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (!options.bind_address.empty()) {
    sockaddr_in local;
    if (!FillAddress(options.bind_address, 0, &local) ||
        bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      close(fd);
      return -1;
    }
  }
  if (connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    if (errno != EINPROGRESS) {
      int error = errno;
      close(fd);
      errno = error;
      return -1;
    }
    struct pollfd pfd = {fd, POLLOUT, 0};
    int ready;
    while ((ready = poll(&pfd, 1, options.timeout_ms)) < 0 && errno == EINTR) {
    }
    int error = ready == 0 ? ETIMEDOUT : 0;
    socklen_t length = sizeof error;
    if (ready > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (ready < 0) error = errno;
    if (error != 0) {
      close(fd);
      errno = error;
      return -1;
    }
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TOrderResult ExchangeLine(const TOrderOptions& options, const std::optional<std::string>& line) {
  TOrderResult result;
  const int64_t deadline = NowMs() + options.timeout_ms;
  int fd = ConnectOnly(options);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  result.connected = true;
  std::string buffer;
  int got = ReadUntilLine(fd, &buffer, deadline);
  size_t lf = buffer.find('\n');
  std::string first = got == 1 ? buffer.substr(0, lf) : buffer;
  if (!first.empty() && first.back() == '\r') {
    first.pop_back();
    result.greeting_had_crlf = got == 1;
  }
  result.raw_greeting = first;
  result.greeting = Descramble(first);
  std::string rest = got == 1 ? buffer.substr(lf + 1) : "";
  if (got == 0) result.closed_by_peer = true;
  if (got == 1 && line.has_value()) SendAll(fd, *line + options.line_end);
  if (got == 1 && (line.has_value() || !rest.empty())) {
    for (;;) {
      if (!WaitReadable(fd, deadline)) break;
      char chunk[512];
      ssize_t n = read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        result.closed_by_peer = n == 0 || errno == ECONNRESET;
        break;
      }
      rest.append(chunk, static_cast<size_t>(n));
    }
  }
  result.after_greeting = rest;
  close(fd);
  return result;
}

TOrderResult SendFrame(const TOrderOptions& options, const std::string& frame) {
  return ExchangeLine(options, Scramble(frame));
}

int ListenOn(const std::string& address, uint16_t port) {
  sockaddr_in sa;
  if (!FillAddress(address, port, &sa)) return -1;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 16) != 0) {
    int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

TFakeAliveServer::TFakeAliveServer(const std::string& address, uint16_t port,
                                   const std::string& reply_frame, bool silent)
    : address_(address), port_(port), reply_(reply_frame), silent_(silent) {}

TFakeAliveServer::~TFakeAliveServer() {
  Stop();
}

bool TFakeAliveServer::Start(std::string* error) {
  listen_fd_ = ListenOn(address_, port_);
  if (listen_fd_ < 0) {
    *error =
        "cannot listen on " + address_ + ":" + std::to_string(port_) + ": " + std::strerror(errno);
    return false;
  }
  if (pipe2(stop_pipe_, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  thread_ = std::thread(&TFakeAliveServer::Serve, this);
  return true;
}

void TFakeAliveServer::Stop() {
  if (thread_.joinable()) {
    char byte = 1;
    while (write(stop_pipe_[1], &byte, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  for (int* fd : {&listen_fd_, &stop_pipe_[0], &stop_pipe_[1]}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

std::vector<std::string> TFakeAliveServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void TFakeAliveServer::Serve() {
  std::vector<int> held;
  for (;;) {
    struct pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    int ready = poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (fds[1].revents & POLLIN)) break;
    if (!(fds[0].revents & POLLIN)) continue;
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::string buffer;
    int got = ReadUntilLine(fd, &buffer, NowMs() + 5000);
    std::string line = buffer.substr(0, buffer.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(got == 1 ? Descramble(line) : "");
    }
    if (silent_) {
      held.push_back(fd);
      continue;
    }
    SendAll(fd, Scramble(reply_) + "\r\n");
    close(fd);
  }
  for (int fd : held) close(fd);
}

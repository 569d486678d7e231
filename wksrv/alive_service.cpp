// The alive service runs one thread that polls the listening socket, a stop
// pipe and every open connection, all non-blocking: a slave that connects
// and never sends holds nothing but its own slot, so it delays no other
// slave's check, and Stop only has to wake the poll. Open connections are
// capped; past the cap the oldest is let go, so that a flood of idle callers
// cannot take every descriptor of the master.

#include "wksrv/alive_service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "common/scramble.h"
#include "common/text.h"

const char kAliveRequest[] = "<|5|>";
const char kAliveReply[] = "<|5|Vantrel Wattkeep|>";

namespace {

constexpr size_t kMaxConnections = 256;
constexpr size_t kMaxLine = 4096;
constexpr int kListenBacklog = 64;
constexpr int kAcceptPauseMs = 100;

using TClock = std::chrono::steady_clock;

struct TCaller {
  int fd = -1;
  std::string peer;
  std::string pending;
  TClock::time_point deadline;  // for the next request
  bool counted = false;         // served: its first request was dealt with
  bool held = false;            // silent mode: answered nothing, kept until Stop
};

std::string PeerText(const sockaddr_in& peer) {
  char text[INET_ADDRSTRLEN] = "";
  if (inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text) == nullptr) return "?";
  return text;
}

}  // namespace

bool IsAliveRequest(const std::string& frame) {
  if (frame.size() < 2 || frame.front() != '<' || frame.back() != '>') return false;
  TTextList pieces;
  SplitToList('|', frame, &pieces, true);
  return pieces.size() == 3 && pieces[0] == "<" && pieces[1] == "5" && pieces[2] == ">";
}

struct TAliveService::TImpl {
  TAliveOptions options;
  int listen_fd = -1;
  int stop_pipe[2] = {-1, -1};
  uint16_t port = 0;
  std::thread thread;
  std::vector<TCaller> callers;  // the service thread's own
  TClock::time_point accept_paused_until;

  std::mutex mutex;
  std::condition_variable served_changed;
  int64_t served = 0;

  ~TImpl() { CloseAll(); }

  void CloseAll() {
    for (int* fd : {&listen_fd, &stop_pipe[0], &stop_pipe[1]}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }

  void Report(const std::string& line) {
    if (options.report) options.report(line);
  }

  void Served() {
    std::lock_guard<std::mutex> lock(mutex);
    ++served;
    served_changed.notify_all();
  }

  // Closes a caller; one not yet counted as served counts now.
  void Drop(size_t index, const std::string& why) {
    if (!why.empty()) Report(callers[index].peer + ": " + why);
    const bool counted = callers[index].counted;
    close(callers[index].fd);
    callers.erase(callers.begin() + static_cast<std::ptrdiff_t>(index));
    if (!counted) Served();
  }

  void Accept() {
    for (;;) {
      sockaddr_in peer;
      socklen_t length = sizeof peer;
      std::memset(&peer, 0, sizeof peer);
      int fd = accept4(listen_fd, reinterpret_cast<sockaddr*>(&peer), &length,
                       SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd < 0) {
        // Out of descriptors or memory: the listener rests a little rather
        // than spin on a socket that stays readable. EAGAIN: none left;
        // ECONNABORTED and the like: that caller is gone.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          accept_paused_until = TClock::now() + std::chrono::milliseconds(kAcceptPauseMs);
        }
        return;
      }
      if (callers.size() >= kMaxConnections) Drop(0, "let go: too many open connections");
      TCaller caller;
      caller.fd = fd;
      caller.peer = PeerText(peer);
      caller.deadline = TClock::now() + std::chrono::milliseconds(options.request_timeout_ms);
      callers.push_back(std::move(caller));
    }
  }

  void Count(TCaller* caller) {
    if (caller->counted) return;
    caller->counted = true;
    Served();
  }

  // Handles a readable caller: answers each whole request line in turn.
  // False when it is done with, with the reason for the report when there
  // is one to give.
  bool Read(TCaller* caller, std::string* outcome) {
    char buffer[512];
    ssize_t got = recv(caller->fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
    if (got <= 0) {
      if (!caller->counted) *outcome = "no request (the connection was closed)";
      return false;
    }
    if (caller->held) return true;  // silent: whatever follows is ignored
    caller->pending.append(buffer, static_cast<size_t>(got));
    for (;;) {
      const size_t end = caller->pending.find('\n');
      if (end == std::string::npos) {
        if (caller->pending.size() <= kMaxLine) return true;
        *outcome = "request line too long";
        return false;
      }
      std::string line = caller->pending.substr(0, end);
      caller->pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::string request = Descramble(line);
      Count(caller);
      if (options.silent) {
        Report(caller->peer + ": " + request + " -> no reply");
        caller->held = true;
        caller->pending.clear();
        return true;
      }
      if (!IsAliveRequest(request)) {
        *outcome = request + " -> not an alive check, no reply";
        return false;
      }
      const std::string reply = Scramble(options.reply) + "\r\n";
      ssize_t sent = send(caller->fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent != static_cast<ssize_t>(reply.size())) {
        *outcome = request + " -> reply failed: " +
                   (sent < 0 ? std::strerror(errno) : std::string("not all written"));
        return false;
      }
      Report(caller->peer + ": " + request + " -> " + options.reply);
      caller->deadline = TClock::now() + std::chrono::milliseconds(options.request_timeout_ms);
    }
  }

  void Run() {
    for (;;) {
      const TClock::time_point now = TClock::now();
      int wait_ms = -1;
      for (size_t i = callers.size(); i-- > 0;) {
        if (callers[i].held) continue;
        if (callers[i].deadline <= now) {
          Drop(i, callers[i].counted ? "" : "no request (timed out)");
          continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(callers[i].deadline - now)
                .count() +
            1;
        if (wait_ms < 0 || left < wait_ms) wait_ms = static_cast<int>(left);
      }
      const bool accepting = accept_paused_until <= now;
      if (!accepting && (wait_ms < 0 || wait_ms > kAcceptPauseMs)) wait_ms = kAcceptPauseMs;
      std::vector<pollfd> polled;
      polled.push_back({stop_pipe[0], POLLIN, 0});
      polled.push_back({accepting ? listen_fd : -1, POLLIN, 0});
      for (const TCaller& caller : callers) polled.push_back({caller.fd, POLLIN, 0});
      int ready = poll(polled.data(), polled.size(), wait_ms);
      if (ready < 0) {
        if (errno == EINTR) continue;
        // Only a lack of memory is left; a short pause keeps this from spinning.
        poll(polled.data(), 1, 100);
        continue;
      }
      if (polled[0].revents != 0) break;
      // Callers first, by their index at poll time, from the back, so that
      // dropping one leaves the indexes of the others untouched.
      for (size_t i = callers.size(); i-- > 0;) {
        if (polled[i + 2].revents == 0) continue;
        std::string outcome;
        if (!Read(&callers[i], &outcome)) Drop(i, outcome);
      }
      if (polled[1].revents != 0) Accept();
    }
    for (TCaller& caller : callers) close(caller.fd);
    callers.clear();
  }
};

TAliveService::TAliveService() = default;

TAliveService::~TAliveService() {
  Stop();
}

int TAliveService::Start(uint16_t port) {
  TAliveOptions options;
  options.port = port;
  return Start(options);
}

int TAliveService::Start(const TAliveOptions& options) {
  Stop();
  auto impl = std::make_unique<TImpl>();
  impl->options = options;
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(options.port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (!options.bind.empty() && inet_pton(AF_INET, options.bind.c_str(), &address.sin_addr) != 1) {
    return EINVAL;
  }
  if (pipe2(impl->stop_pipe, O_CLOEXEC) != 0) return errno;
  impl->listen_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (impl->listen_fd < 0) return errno;
  int on = 1;
  if (setsockopt(impl->listen_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(impl->listen_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(impl->listen_fd, kListenBacklog) != 0) {
    return errno;
  }
  socklen_t length = sizeof address;
  if (getsockname(impl->listen_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return errno;
  }
  impl->port = ntohs(address.sin_port);
  // The thread starts with every signal blocked, so that the program's
  // signals reach its own thread.
  sigset_t all;
  sigset_t old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  int error = 0;
  try {
    TImpl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->Run(); });
  } catch (const std::system_error& e) {
    error = e.code().value() != 0 ? e.code().value() : EAGAIN;
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (error != 0) return error;
  impl_ = std::move(impl);
  return 0;
}

void TAliveService::Stop() {
  if (!impl_) return;
  const char byte = 0;
  while (write(impl_->stop_pipe[1], &byte, 1) < 0 && errno == EINTR) {
  }
  impl_->thread.join();
  impl_.reset();
}

uint16_t TAliveService::BoundPort() const {
  return impl_ ? impl_->port : 0;
}

bool TAliveService::WaitServed(int64_t count, int timeout_ms) {
  if (!impl_) return false;
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->served_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                        [&] { return impl_->served >= count; });
}

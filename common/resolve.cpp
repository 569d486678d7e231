// Bounded name lookups. Each lookup owns a small shared record: the thread
// that asks the resolver fills it and signals an eventfd, the waiter polls
// that eventfd against its deadline. Whoever lets go of the record last (the
// waiter, or a thread that answers after its waiter gave up) frees it, so an
// abandoned lookup neither leaks nor writes to anything gone. The lookup
// thread blocks every signal: the programs take theirs on chosen threads.
#include "common/resolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/clock.h"

struct TNameLookup::TShared {
  explicit TShared(int fd) : event_fd(fd) {}
  ~TShared() { close(event_fd); }
  const int event_fd;
  std::mutex mutex;
  bool done = false;
  std::string address;
};

namespace {

void RunLookup(const std::shared_ptr<TNameLookup::TShared>& shared, const std::string& host,
               const TBlockingResolver& resolver) {
  std::string address = resolver(host);
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->address = std::move(address);
    shared->done = true;
  }
  const uint64_t one = 1;
  // The counter cannot overflow from one write; EINTR is the only retry.
  while (write(shared->event_fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

// Starts the lookup thread with every signal blocked; false when no thread
// could be made.
bool StartLookupThread(const std::shared_ptr<TNameLookup::TShared>& shared, const std::string& host,
                       const TBlockingResolver& resolver) {
  sigset_t all, previous;
  sigfillset(&all);
  if (pthread_sigmask(SIG_SETMASK, &all, &previous) != 0) return false;
  bool started = true;
  try {
    std::thread([shared, host, resolver] { RunLookup(shared, host, resolver); }).detach();
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started;
}

int RemainingMs(int64_t deadline_ms) {
  const int64_t left = deadline_ms - NowMs();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

}  // namespace

std::string SystemResolve(const std::string& host) {
  addrinfo hints;
  memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int r;
  do {
    r = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  } while (r == EAI_SYSTEM && errno == EINTR);
  if (r != 0 || found == nullptr) return "";
  std::string result;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN];
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) {
      result = text;
      break;
    }
  }
  freeaddrinfo(found);
  return result;
}

bool LiteralIPv4(const std::string& host, std::string* dotted) {
  if (strcasecmp(host.c_str(), "localhost") == 0) {
    *dotted = "127.0.0.1";
    return true;
  }
  in_addr address;
  if (inet_pton(AF_INET, host.c_str(), &address) != 1) return false;
  *dotted = host;
  return true;
}

TNameLookup::TNameLookup(const std::string& host, const TBlockingResolver& resolver) : host_(host) {
  if (LiteralIPv4(host, &address_)) {
    known_ = TResolveResult::kResolved;
    return;
  }
  if (host.empty()) {
    known_ = TResolveResult::kUnknown;
    return;
  }
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) {
    known_ = TResolveResult::kNoAnswer;
    return;
  }
  shared_ = std::make_shared<TShared>(fd);
  if (!StartLookupThread(shared_, host, resolver)) {
    shared_.reset();
    known_ = TResolveResult::kNoAnswer;
  }
}

TNameLookup::~TNameLookup() = default;

TResolveResult TNameLookup::Poll() {
  if (known_ != TResolveResult::kPending) return known_;
  std::lock_guard<std::mutex> lock(shared_->mutex);
  if (!shared_->done) return known_;
  address_ = shared_->address;
  known_ = address_.empty() ? TResolveResult::kUnknown : TResolveResult::kResolved;
  return known_;
}

TResolveResult TNameLookup::Wait(int64_t deadline_ms, int wake_fd) {
  for (;;) {
    const TResolveResult now = Poll();
    if (now != TResolveResult::kPending) return now;
    pollfd p[2] = {{shared_->event_fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    const int r = poll(p, wake_fd >= 0 ? 2 : 1, RemainingMs(deadline_ms));
    if (r == 0) return TResolveResult::kNoAnswer;
    if (r < 0 && errno != EINTR) return TResolveResult::kNoAnswer;
    if (r > 0 && wake_fd >= 0 && p[1].revents != 0) return TResolveResult::kInterrupted;
  }
}

TResolveResult ResolveIPv4Within(const std::string& host, int timeout_ms, std::string* dotted,
                                 int wake_fd, const TBlockingResolver& resolver) {
  const int64_t deadline = NowMs() + (timeout_ms < 0 ? 0 : timeout_ms);
  TNameLookup lookup(host, resolver);
  const TResolveResult result = lookup.Wait(deadline, wake_fd);
  if (result == TResolveResult::kResolved) *dotted = lookup.Address();
  return result;
}

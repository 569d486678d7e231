// The allowed peer list, shared by all connection workers, and the thread
// that keeps its names' addresses. A power failure may have taken the name
// server down just when the orders matter, so no connection waits on the
// name service: a caller is compared with the addresses already known (the
// numeric entries from the start), and only a caller matching none waits,
// briefly, for a fresh round of lookups. Lookups run outside the lock; only
// the storing of an answer is locked.
#include "qslx/peers.h"

#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <system_error>

#include "common/clock.h"

int AllowedIndex(const TTextList& known, const std::string& peer) {
  if (peer.empty()) return -1;
  for (size_t i = 0; i < known.size(); ++i) {
    if (strcasecmp(known[i].c_str(), peer.c_str()) == 0) return static_cast<int>(i);
  }
  return -1;
}

void TQsAllowedPeers::Configure(const TTextList& addresses) {
  TTextList known;
  for (const std::string& address : addresses) {
    std::string dotted;
    known.push_back(LiteralIPv4(address, &dotted) ? dotted : std::string());
  }
  std::lock_guard<std::mutex> lock(mutex_);
  configured_ = addresses;
  entries_.swap(known);
  failing_.assign(addresses.size(), false);
  abandoned_ = false;
}

bool TQsAllowedPeers::HasNames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::string& address : configured_) {
    std::string dotted;
    if (!address.empty() && !LiteralIPv4(address, &dotted)) return true;
  }
  return false;
}

std::vector<TQsAllowedPeers::TChange> TQsAllowedPeers::Refresh(int timeout_ms, int stop_fd,
                                                               const TBlockingResolver& resolver) {
  TTextList names;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    names = configured_;
  }
  std::vector<std::unique_ptr<TNameLookup>> lookups(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    std::string dotted;
    if (!names[i].empty() && !LiteralIPv4(names[i], &dotted))
      lookups[i] = std::make_unique<TNameLookup>(names[i], resolver);
  }
  const int64_t deadline = NowMs() + timeout_ms;
  std::vector<TChange> changes;
  for (size_t i = 0; i < names.size(); ++i) {
    if (!lookups[i]) continue;
    const TResolveResult result = lookups[i]->Wait(deadline, stop_fd);
    if (result == TResolveResult::kInterrupted) break;
    const bool resolves = result == TResolveResult::kResolved;
    std::lock_guard<std::mutex> lock(mutex_);
    // Configure may have replaced the list meanwhile.
    if (i >= configured_.size() || configured_[i] != names[i]) break;
    if (resolves) entries_[i] = lookups[i]->Address();
    if (failing_[i] == resolves) changes.push_back({names[i], entries_[i], resolves});
    failing_[i] = !resolves;
    changed_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ++rounds_;
  changed_.notify_all();
  return changes;
}

int TQsAllowedPeers::IndexOf(const std::string& peer) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return AllowedIndex(entries_, peer);
}

int TQsAllowedPeers::IndexOfWaiting(const std::string& peer, int wait_ms,
                                    const std::function<void()>& ask_again) {
  std::unique_lock<std::mutex> lock(mutex_);
  int index = AllowedIndex(entries_, peer);
  if (index >= 0 || abandoned_ || peer.empty()) return index;
  lock.unlock();
  if (!HasNames()) return -1;
  ask_again();
  lock.lock();
  const uint64_t seen = rounds_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    index = AllowedIndex(entries_, peer);
    if (index >= 0 || abandoned_ || rounds_ > seen) return index;
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout)
      return AllowedIndex(entries_, peer);
  }
}

void TQsAllowedPeers::Abandon() {
  std::lock_guard<std::mutex> lock(mutex_);
  abandoned_ = true;
  changed_.notify_all();
}

void TQsAllowedPeers::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  configured_.clear();
  entries_.clear();
  failing_.clear();
}

TTextList TQsAllowedPeers::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

TQsNameRefresher::TQsNameRefresher(TQsAllowedPeers* peers, TQsEventSink* events,
                                   TBlockingResolver resolver, TQsNameTimes times)
    : peers_(peers), events_(events), resolver_(std::move(resolver)), times_(times) {}

TQsNameRefresher::~TQsNameRefresher() {
  Stop();
}

bool TQsNameRefresher::Start() {
  if (thread_.joinable() || !peers_->HasNames()) return true;
  stop_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  ask_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop_fd_ < 0 || ask_fd_ < 0) {
    CloseDescriptors();
    return false;
  }
  // The thread takes no signal: the daemon takes its own on the main thread.
  sigset_t all, previous;
  sigfillset(&all);
  if (pthread_sigmask(SIG_SETMASK, &all, &previous) != 0) {
    CloseDescriptors();
    return false;
  }
  bool started = true;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (!started) CloseDescriptors();
  return started;
}

void TQsNameRefresher::AskAgain() {
  if (ask_fd_ < 0) return;
  const uint64_t one = 1;
  // A full counter already asks; EINTR is the only retry.
  while (write(ask_fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void TQsNameRefresher::Stop() {
  peers_->Abandon();
  if (thread_.joinable()) {
    const uint64_t one = 1;
    while (write(stop_fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  CloseDescriptors();
}

void TQsNameRefresher::CloseDescriptors() {
  for (int* fd : {&stop_fd_, &ask_fd_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

bool TQsNameRefresher::WaitUnlessStopped(int ms, bool asked_too) {
  const int64_t deadline = NowMs() + ms;
  for (;;) {
    const int64_t left = deadline - NowMs();
    pollfd p[2] = {{stop_fd_, POLLIN, 0}, {ask_fd_, POLLIN, 0}};
    const int r = poll(p, asked_too ? 2 : 1, left > 0 ? static_cast<int>(left) : 0);
    if (r > 0 && p[0].revents != 0) return true;
    if (r > 0) {
      uint64_t count;
      // Emptied, so that one ask gives one round.
      while (read(ask_fd_, &count, sizeof count) < 0 && errno == EINTR) {
      }
      return false;
    }
    if (r == 0) return false;
    // Any other poll failure would spin: treat it as a stop.
    if (errno != EINTR) return true;
  }
}

void TQsNameRefresher::Run() {
  for (;;) {
    for (const TQsAllowedPeers::TChange& change :
         peers_->Refresh(times_.lookup_ms, stop_fd_, resolver_))
      Log(change);
    if (WaitUnlessStopped(times_.min_gap_ms, false)) return;
    if (WaitUnlessStopped(times_.interval_ms - times_.min_gap_ms, true)) return;
  }
}

void TQsNameRefresher::Log(const TQsAllowedPeers::TChange& change) {
  std::string text = "Master server " + change.name;
  if (change.resolves) {
    text += " resolves to " + change.address;
  } else if (change.address.empty()) {
    text += " does not resolve; its orders are refused until it does";
  } else {
    text += " no longer resolves; its last address " + change.address + " is kept";
  }
  events_->WriteLine(text);
}

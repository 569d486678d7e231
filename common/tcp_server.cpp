// The threaded TCP server: a listener thread blocked in poll on the listening
// socket and a stop pipe, and one worker thread per accepted connection. A
// finished worker puts itself on a list; the listener joins it and takes its
// stack back (a few are kept for reuse, the rest unmapped) when it next wakes:
// for the next connection, or a second later at most, as it waits with a time
// limit while workers run or wait to be joined (waking it for every ended
// connection cost each order a switch of threads). Idle, nothing wakes up;
// Deactivate writes to the stop pipe, joins the listener, shuts every open
// connection down, waits until the last worker has let go of the server and
// joins it. Workers keep small stacks, so that hundreds of idle connections
// cost little memory.
#include "common/tcp_server.h"

#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

namespace {

// The kernel caps this at net.core.somaxconn.
constexpr int kListenBacklog = 4096;
// Pause after an accept failure that frees itself only with time (out of
// descriptors or memory), so that the listener never spins.
constexpr int kAcceptBackoffMs = 100;
// How long an ended worker may wait to be joined when no connection comes.
constexpr int kJoinDelayMs = 1000;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VM_SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VM_SANITIZED_BUILD 1
#endif
#endif
#if defined(VM_SANITIZED_BUILD)
// Sanitizers keep large thread-local state and wide frames on each stack.
constexpr size_t kThreadStackBytes = 4 * 1024 * 1024;
#else
// Enough for the resolver and stdio; only touched pages count as memory.
constexpr size_t kThreadStackBytes = 128 * 1024;
#endif

bool StartThread(void* (*routine)(void*), void* argument, pthread_t* thread) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  pthread_attr_setstacksize(&attr, kThreadStackBytes);
  int r = pthread_create(thread, &attr, routine, argument);
  pthread_attr_destroy(&attr);
  if (r != 0) errno = r;
  return r == 0;
}

// A worker's stack, mapped here rather than by the C library: the library
// keeps the stacks of finished threads for reuse, and after a burst of
// connections every page they touched would stay resident. The lowest page
// is the guard.
void* MapStack() {
  void* stack = mmap(nullptr, kThreadStackBytes, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (stack == MAP_FAILED) return nullptr;
  if (mprotect(stack, static_cast<size_t>(sysconf(_SC_PAGESIZE)), PROT_NONE) != 0) {
    munmap(stack, kThreadStackBytes);
    return nullptr;
  }
  return stack;
}

void CloseIfOpen(int* fd) {
  if (*fd >= 0) {
    close(*fd);
    *fd = -1;
  }
}

}  // namespace

struct TTcpServer::TImpl {
  explicit TImpl(TTcpServer* server) : owner(server) {}

  static void* ListenerMain(void* self) {
    static_cast<TImpl*>(self)->Listen();
    return nullptr;
  }

  struct TWorker {
    TImpl* impl;
    int fd;
    sockaddr_in peer;  // from accept: asked once, kept if the peer resets
    void* stack;
    pthread_t thread;
  };

  static void* WorkerMain(void* self) {
    TWorker* w = static_cast<TWorker*>(self);
    w->impl->Serve(w);
    return nullptr;
  }

  // Sleeps `ms` unless Deactivate asks the listener to end; true when asked.
  bool WaitForStop(int ms) {
    for (;;) {
      pollfd p = {stop[0], POLLIN, 0};
      int r = poll(&p, 1, ms);
      if (r > 0) return true;
      if (r == 0) return false;
      if (errno != EINTR) return false;
    }
  }

  void Listen() {
    for (;;) {
      int wait_ms = -1;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (workers > 0 || !finished.empty()) wait_ms = kJoinDelayMs;
      }
      pollfd p[2] = {{listen_fd, POLLIN, 0}, {stop[0], POLLIN, 0}};
      int r = poll(p, 2, wait_ms);
      if (r < 0) {
        if (errno == EINTR) continue;
        if (WaitForStop(kAcceptBackoffMs)) return;
        continue;
      }
      if (p[1].revents != 0) return;
      Reap();
      if (p[0].revents == 0) continue;

      sockaddr_in peer;
      socklen_t peer_length = sizeof peer;
      std::memset(&peer, 0, sizeof peer);
      int fd = accept4(listen_fd, reinterpret_cast<sockaddr*>(&peer), &peer_length, SOCK_CLOEXEC);
      if (fd < 0) {
        switch (errno) {
          case EINTR:
          case EAGAIN:
#if EWOULDBLOCK != EAGAIN
          case EWOULDBLOCK:
#endif
          case ECONNABORTED:
          case EPROTO:
          case EPERM:
          case ENETDOWN:
          case ENETUNREACH:
          case EHOSTDOWN:
          case EHOSTUNREACH:
          case ENONET:
          case ENOPROTOOPT:
          case EOPNOTSUPP:
            continue;  // The failed connection is gone; the next one may wait.
          default:
            // EMFILE, ENFILE, ENOBUFS, ENOMEM and anything unexpected.
            if (WaitForStop(kAcceptBackoffMs)) return;
            continue;
        }
      }
      if (!Spawn(fd, peer) && WaitForStop(kAcceptBackoffMs)) return;
    }
  }

  // Starts a worker for `fd`; false (the connection closed) when none could
  // be started.
  bool Spawn(int fd, const sockaddr_in& peer) {
    TWorker* w = new (std::nothrow) TWorker{this, fd, peer, TakeStack(), {}};
    bool registered = false;
    if (w != nullptr && w->stack != nullptr) {
      try {
        std::lock_guard<std::mutex> lock(mutex);
        finished.reserve(finished.size() + workers + 1);
        open.insert(fd);
        ++workers;
        if (workers > peak_workers) peak_workers = workers;
        registered = true;
      } catch (...) {
      }
    }
    if (registered) {
      pthread_attr_t attr;
      int r = pthread_attr_init(&attr);
      if (r == 0) {
        r = pthread_attr_setstack(&attr, w->stack, kThreadStackBytes);
        if (r == 0) r = pthread_create(&w->thread, &attr, &WorkerMain, w);
        pthread_attr_destroy(&attr);
      }
      if (r == 0) return true;
      std::lock_guard<std::mutex> lock(mutex);
      open.erase(fd);
      --workers;
    }
    close(fd);
    if (w != nullptr) {
      if (w->stack != nullptr) GiveBackStack(w->stack);
      delete w;
    }
    return false;
  }

  // Stacks are taken and given back on the listener thread only (and by
  // Deactivate once the listener has ended). A few are kept for the next
  // connections: mapping a fresh stack costs page faults on every order.
  void* TakeStack() {
    if (spare_count == 0) return MapStack();
    return spare_stacks[--spare_count];
  }

  void GiveBackStack(void* stack) {
    if (spare_count < kSpareStacks) {
      spare_stacks[spare_count++] = stack;
    } else {
      munmap(stack, kThreadStackBytes);
    }
  }

  void UnmapSpareStacks() {
    while (spare_count > 0) munmap(spare_stacks[--spare_count], kThreadStackBytes);
  }

  void Serve(TWorker* w) {
    TTcpConnection connection(w->fd, w->peer);
    try {
      if (!owner->on_connect_ || owner->on_connect_(connection)) {
        if (owner->on_execute_) owner->on_execute_(connection);
      }
    } catch (...) {
      // A handler's failure ends its own connection, never the server.
    }
    std::lock_guard<std::mutex> lock(mutex);
    // Closed under the lock, so that Deactivate never shuts down a
    // descriptor number that has meanwhile been given to someone else.
    open.erase(w->fd);
    connection.Close();
    // Cannot fail for want of memory: room was reserved at the spawn.
    finished.push_back(w);
    if (--workers == 0) idle.notify_all();
  }

  // Joins the finished workers and unmaps their stacks.
  void Reap() {
    std::vector<TWorker*> done;
    bool trim = false;
    {
      std::lock_guard<std::mutex> lock(mutex);
      // Only a burst leaves enough on the heap to be worth the trim, which
      // costs every sequential order a walk of the heap and fresh pages.
      trim = workers == 0 && peak_workers >= kTrimAfterWorkers;
      if (trim) peak_workers = 0;
      try {
        done = finished;
      } catch (...) {
        return;  // Left for the next time.
      }
      finished.clear();  // Keeps the room the spawns reserved.
    }
    for (TWorker* w : done) {
      pthread_join(w->thread, nullptr);
      GiveBackStack(w->stack);
      delete w;
    }
    // What a burst of connections took from the heap goes back once all
    // of them are over.
    if (trim) malloc_trim(0);
  }

  TTcpServer* owner;
  std::mutex mutex;
  std::condition_variable idle;
  std::unordered_set<int> open;  // descriptors of the connections being served
  size_t workers = 0;
  size_t peak_workers = 0;  // most workers at once since the last trim
  static constexpr size_t kTrimAfterWorkers = 16;
  int listen_fd = -1;
  uint16_t bound_port = 0;
  std::vector<TWorker*> finished;  // ended, not yet joined
  // Enough for a few dozen callers at once: beyond the spares, every worker
  // maps a fresh stack and unmaps it again, page faults and all. A spare
  // keeps only the pages a worker touched, a few KiB.
  static constexpr size_t kSpareStacks = 32;
  void* spare_stacks[kSpareStacks] = {};
  size_t spare_count = 0;
  int stop[2] = {-1, -1};
  pthread_t listener{};
  std::atomic<bool> active{false};
};

TTcpServer::TTcpServer() : impl_(new TImpl(this)) {
  sigemptyset(&blocked_);
}

TTcpServer::~TTcpServer() {
  Deactivate();
  delete impl_;
}

int TTcpServer::Activate() {
  if (impl_->active) return EALREADY;
  TImpl& s = *impl_;
  int error = 0;
  if (pipe2(s.stop, O_CLOEXEC | O_NONBLOCK) != 0) return errno;

  s.listen_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (s.listen_fd < 0) {
    error = errno;
  } else {
    // A restarted daemon must get its port back while connections of the
    // previous one are still in TIME_WAIT.
    int on = 1;
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port_);
    if (setsockopt(s.listen_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(s.listen_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(s.listen_fd, kListenBacklog) != 0) {
      error = errno;
    }
  }
  if (error == 0) {
    sockaddr_in bound;
    socklen_t length = sizeof bound;
    if (getsockname(s.listen_fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
      error = errno;
    } else {
      s.bound_port = ntohs(bound.sin_port);
    }
  }
  if (error == 0) {
    sigset_t previous;
    // The listener passes its mask on to every worker it starts.
    pthread_sigmask(SIG_BLOCK, &blocked_, &previous);
    if (!StartThread(&TImpl::ListenerMain, impl_, &s.listener)) error = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
  if (error != 0) {
    CloseIfOpen(&s.listen_fd);
    for (int* fd : {&s.stop[0], &s.stop[1]}) CloseIfOpen(fd);
    return error;
  }
  s.active = true;
  return 0;
}

void TTcpServer::Deactivate() {
  TImpl& s = *impl_;
  if (!s.active) return;
  const char byte = 1;
  while (write(s.stop[1], &byte, 1) < 0 && errno == EINTR) {
  }
  pthread_join(s.listener, nullptr);
  CloseIfOpen(&s.listen_fd);
  {
    std::unique_lock<std::mutex> lock(s.mutex);
    for (int fd : s.open) shutdown(fd, SHUT_RDWR);
    s.idle.wait(lock, [&s] { return s.workers == 0; });
  }
  s.Reap();
  s.UnmapSpareStacks();
  for (int* fd : {&s.stop[0], &s.stop[1]}) CloseIfOpen(fd);
  s.bound_port = 0;
  s.active = false;
}

bool TTcpServer::Active() const {
  return impl_->active;
}

uint16_t TTcpServer::BoundPort() const {
  return impl_->active ? impl_->bound_port : 0;
}

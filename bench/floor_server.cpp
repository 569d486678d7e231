// The floor the daemon is measured against: the least a server can do to
// carry out an order on this machine. It accepts on the loopback, greets with
// one line, reads one line and starts the script with posix_spawn, the line
// as its single argument; one detached thread with a small stack per
// connection, like the daemon. No protocol, no language lookup, no log.
// With "fork" it starts the script with fork and execv instead: the older,
// dearer floor, kept as a second line of reference. With "reap" it spawns as
// the plain floor but reaps its scripts itself, as the daemon must: one
// thread woken by each SIGCHLD, where the plain floor leaves the reaping to
// the kernel (SA_NOCLDWAIT) and the exiting script's own account.
//
// Usage: floor_server PORT SCRIPT [spawn|fork|reap]
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

const char* g_script = nullptr;
bool g_fork = false;
bool g_reap = false;
constexpr size_t kStackSize = 64 * 1024;
constexpr size_t kMaxLine = 4096;

void Serve(int fd) {
  static const char kGreeting[] = "ok\r\n";
  if (send(fd, kGreeting, sizeof kGreeting - 1, MSG_NOSIGNAL) != sizeof kGreeting - 1) return;
  std::string line;
  char buffer[512];
  for (;;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    line.append(buffer, static_cast<size_t>(n));
    const size_t end = line.find('\n');
    if (end != std::string::npos) {
      line.resize(end);
      break;
    }
    if (line.size() > kMaxLine) return;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();

  char* argv[] = {const_cast<char*>(g_script), const_cast<char*>(line.c_str()), nullptr};
  if (!g_fork) {
    // The reaping floor's threads block SIGCHLD; its scripts must not.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (g_reap) {
      sigset_t none;
      sigemptyset(&none);
      posix_spawnattr_setsigmask(&attributes, &none);
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }
    pid_t child;
    const int error = posix_spawn(&child, g_script, nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) fprintf(stderr, "floor_server: posix_spawn: %s\n", strerror(error));
    return;
  }
  const pid_t child = fork();
  if (child == 0) {
    execv(g_script, argv);
    _exit(127);
  }
  if (child < 0) perror("floor_server: fork");
}

void* Worker(void* arg) {
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(arg));
  Serve(fd);
  close(fd);
  return nullptr;
}

void* Reaper(void*) {
  sigset_t child_ended;
  sigemptyset(&child_ended);
  sigaddset(&child_ended, SIGCHLD);
  for (;;) {
    if (sigwaitinfo(&child_ended, nullptr) < 0) continue;
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 4 ? argv[3] : "spawn";
  if ((argc != 3 && argc != 4) || (mode != "spawn" && mode != "fork" && mode != "reap")) {
    fprintf(stderr, "usage: floor_server PORT SCRIPT [spawn|fork|reap]\n");
    return 2;
  }
  g_script = argv[2];
  g_fork = mode == "fork";
  g_reap = mode == "reap";
  const int port = atoi(argv[1]);

  signal(SIGPIPE, SIG_IGN);
  if (g_reap) {
    // Blocked before any thread starts, so only the reaper takes it.
    sigset_t child_ended;
    sigemptyset(&child_ended);
    sigaddset(&child_ended, SIGCHLD);
    pthread_sigmask(SIG_BLOCK, &child_ended, nullptr);
    pthread_t reaper;
    if (pthread_create(&reaper, nullptr, Reaper, nullptr) != 0) return 1;
  } else {
    // Children are reaped by the kernel: nothing here waits for them.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    action.sa_flags = SA_NOCLDWAIT;
    sigaction(SIGCHLD, &action, nullptr);
  }

  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) {
    perror("floor_server: socket");
    return 1;
  }
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, SOMAXCONN) != 0) {
    perror("floor_server: bind/listen");
    return 1;
  }

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kStackSize);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  for (;;) {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        usleep(10000);
        continue;
      }
      perror("floor_server: accept");
      return 1;
    }
    pthread_t thread;
    if (pthread_create(&thread, &attributes, Worker,
                       reinterpret_cast<void*>(static_cast<intptr_t>(fd))) != 0) {
      close(fd);
    }
  }
}

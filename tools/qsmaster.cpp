// qsmaster: a stand-in master server for administrators and tests. "send"
// gives a daemon one order the way the master server does (read the greeting,
// send one scrambled request line when accepted); "serve-alive" answers the
// daemon's alive checks; "fire" rehearses a configured event and "events"
// lists them. Exchanges are printed descrambled, one line each.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/scramble.h"
#include "common/settings.h"
#include "common/tcp.h"
#include "tools/fire.h"
#include "tools/master_order.h"
#include "tools/qsmaster_args.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitError = 2;
constexpr size_t kMaxLine = 65536;
constexpr int kRequestTimeoutMs = 10000;

volatile sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
  g_stop = 1;
}

int Send(const MasterSend& send) {
  OrderOutcome outcome = GiveOrder(send);
  if (!outcome.greeting.empty()) {
    std::printf("greeting: %s\n", outcome.greeting.c_str());
    std::fflush(stdout);
  }
  switch (outcome.kind) {
    case OrderOutcome::Kind::kAccepted:
      std::printf("sent: %s\n", send.line.c_str());
      return 0;
    case OrderOutcome::Kind::kRefused:
      return kExitRefused;
    default:
      std::fprintf(stderr, "qsmaster: %s:%u: %s\n", send.host.c_str(), send.port,
                   outcome.detail.c_str());
      return kExitError;
  }
}

int ListenSocket(const MasterServe& serve) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(serve.port);
  if (inet_pton(AF_INET, serve.bind.c_str(), &address.sin_addr) != 1) {
    std::fprintf(stderr, "qsmaster: not an IPv4 address: %s\n", serve.bind.c_str());
    return -1;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::fprintf(stderr, "qsmaster: socket: %s\n", std::strerror(errno));
    return -1;
  }
  int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
    std::fprintf(stderr, "qsmaster: cannot listen on %s:%u: %s\n", serve.bind.c_str(), serve.port,
                 std::strerror(errno));
    close(fd);
    return -1;
  }
  return fd;
}

bool InstallStopHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  struct sigaction ignore = action;
  ignore.sa_handler = SIG_IGN;
  return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0 &&
         sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

// Waits for a connection; -1 when asked to stop or on a lasting error.
int AcceptOne(int listen_fd) {
  while (!g_stop) {
    struct pollfd pfd = {listen_fd, POLLIN, 0};
    int ready = poll(&pfd, 1, 500);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      std::fprintf(stderr, "qsmaster: poll: %s\n", std::strerror(errno));
      return -1;
    }
    if (ready == 0) continue;
    int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return fd;
    if (errno == EMFILE || errno == ENFILE) {
      usleep(100000);
    } else if (errno != EINTR && errno != ECONNABORTED && errno != EAGAIN) {
      std::fprintf(stderr, "qsmaster: accept: %s\n", std::strerror(errno));
      return -1;
    }
  }
  return -1;
}

int ServeAlive(const MasterServe& serve) {
  if (!InstallStopHandlers()) {
    std::fprintf(stderr, "qsmaster: sigaction: %s\n", std::strerror(errno));
    return kExitError;
  }
  int listen_fd = ListenSocket(serve);
  if (listen_fd < 0) return kExitError;
  std::printf("serving alive checks on %s:%u\n", serve.bind.c_str(), serve.port);
  std::fflush(stdout);
  std::vector<TcpConnection> held;
  for (int64_t served = 0; serve.count == 0 || served < serve.count; ++served) {
    int fd = AcceptOne(listen_fd);
    if (fd < 0) break;
    TcpConnection connection(fd);
    std::string peer = connection.PeerAddress();
    std::string line;
    ReadStatus status = connection.ReadLine(&line, kMaxLine, kRequestTimeoutMs);
    if (status != ReadStatus::kLine) {
      std::printf("%s: no request (%s)\n", peer.c_str(), ReadStatusText(status));
    } else if (serve.silent) {
      std::printf("%s: %s -> no reply\n", peer.c_str(), Descramble(line).c_str());
      held.push_back(std::move(connection));
    } else if (connection.WriteLine(Scramble(serve.reply))) {
      std::printf("%s: %s -> %s\n", peer.c_str(), Descramble(line).c_str(), serve.reply.c_str());
    } else {
      std::printf("%s: %s -> reply failed: %s\n", peer.c_str(), Descramble(line).c_str(),
                  std::strerror(errno));
    }
    std::fflush(stdout);
  }
  close(listen_fd);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  MasterArgs args;
  std::string error;
  if (!ParseMasterArgs(std::vector<std::string>(argv + 1, argv + argc), &args, &error)) {
    std::fprintf(stderr, "qsmaster: %s\nTry 'qsmaster --help'.\n", error.c_str());
    return kExitError;
  }
  switch (args.mode) {
    case MasterArgs::Mode::kSend:
      return Send(args.send);
    case MasterArgs::Mode::kServe:
      return ServeAlive(args.serve);
    case MasterArgs::Mode::kFire:
      return RunFire(args.fire, ProgramDirectory(argv[0]));
    case MasterArgs::Mode::kEvents:
      return RunEvents(args.fire, ProgramDirectory(argv[0]));
    case MasterArgs::Mode::kVersion:
      PrintVersionBlock(std::string("qsmaster - Version ") + kWattkeepVersion);
      return 0;
    case MasterArgs::Mode::kHelp:
      break;
  }
  std::fputs(MasterUsage().c_str(), stdout);
  return 0;
}

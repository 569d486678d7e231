// The chain benchmark's helper (bench/chain_run.sh). It pulls the trigger
// and collects the slaves' stamps, plays the slaves that accept and never
// read, sums the idle footprint of a master side, and reduces the runs of
// one cell to its figures.
//
// Usage:
//   chain fire STAMP_SOCKET EXPECTED TIMEOUT_MS PHASE_MAX_MS UPS@HOST:PORT STATUS
//              -- COMMAND...
//     binds STAMP_SOCKET, waits a random time below PHASE_MAX_MS (so the
//     trigger falls at a random phase of the pollers' cycle), reads the
//     monotonic clock and runs COMMAND (the write of the UPS status); then
//     asks upsd every 5 ms until the UPS's ups.status is STATUS and prints
//     "visible MICROSECONDS" (the driver hands a value set through upsd
//     back to it only later); then "stamp ID MICROSECONDS" for each slave's
//     first stamp, all counted from that reading, until EXPECTED distinct
//     slaves have stamped or TIMEOUT_MS have passed. Exit 0 when all
//     stamped.
//   chain silent SECONDS ADDRESS:PORT...
//     listens on each address, accepts every connection and never reads;
//     ends after SECONDS.
//   chain idle SECONDS PID...
//     resident memory (summed) and CPU time over SECONDS of the processes.
//   chain summary FILE
//     FILE holds runs ("run N", "visible", the "stamp" lines, "missing K");
//     prints "RUNS STAMPS p50 p99 last_p50 last_p99 last_max MISSING
//     after_p50 seen_p50 seen_p99 seen_last_p50 seen_last_p99 visible_p50",
//     in milliseconds: over every stamp, over each run's last one, over
//     every stamp counted from its run's first (what the master's fan-out
//     adds once it has seen the failure, without the poll's phase), the same
//     counted from the moment upsd showed the status, and that moment.
#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

int64_t NowNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void SleepNs(int64_t ns) {
  timespec span = {static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
  while (nanosleep(&span, &span) != 0 && errno == EINTR) {
  }
}

// Asks upsd for the UPS's status every 5 ms until it reads `status`; the
// monotonic time it first did, -1 when it did not before `deadline`. `ups`
// is "name@host:port".
int64_t WaitVisible(const std::string& ups, const std::string& status, int64_t deadline) {
  const size_t at = ups.find('@');
  const size_t colon = ups.rfind(':');
  if (at == std::string::npos || colon == std::string::npos || colon < at) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(atoi(ups.c_str() + colon + 1)));
  if (inet_pton(AF_INET, ups.substr(at + 1, colon - at - 1).c_str(), &address.sin_addr) != 1) {
    return -1;
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    perror("chain fire: upsd");
    if (fd >= 0) close(fd);
    return -1;
  }
  const std::string query = "GET VAR " + ups.substr(0, at) + " ups.status\n";
  const std::string wanted = "\"" + status + "\"";
  int64_t seen = -1;
  while (seen < 0 && NowNs() < deadline) {
    if (write(fd, query.data(), query.size()) != static_cast<ssize_t>(query.size())) break;
    std::string line;
    char c;
    while (line.size() < 256) {
      pollfd entry = {fd, POLLIN, 0};
      if (poll(&entry, 1, 1000) != 1 || read(fd, &c, 1) != 1) break;
      if (c == '\n') break;
      line += c;
    }
    if (line.size() >= wanted.size() &&
        line.compare(line.size() - wanted.size(), wanted.size(), wanted) == 0) {
      seen = NowNs();
    } else {
      SleepNs(5000000);
    }
  }
  close(fd);
  return seen;
}

int Fire(int argc, char** argv) {
  if (argc < 10 || strcmp(argv[8], "--") != 0) return 2;
  const std::string path = argv[2];
  const int expected = atoi(argv[3]);
  const int64_t timeout_ns = atoll(argv[4]) * 1000000LL;
  const int64_t phase_max_ns = atoll(argv[5]) * 1000000LL;

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return 2;
  strcpy(address.sun_path, path.c_str());
  unlink(path.c_str());
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    perror("chain fire: stamp socket");
    return 2;
  }

  std::random_device seed;
  std::mt19937_64 random(seed());
  const int64_t phase_ns =
      phase_max_ns > 0 ? static_cast<int64_t>(random() % static_cast<uint64_t>(phase_max_ns)) : 0;
  SleepNs(phase_ns);

  const int64_t start = NowNs();
  pid_t child;
  if (posix_spawn(&child, argv[9], nullptr, nullptr, argv + 9, environ) != 0) {
    perror("chain fire: trigger");
    return 2;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  const int64_t written = NowNs();
  printf("phase %.1f ms, trigger took %.1f ms, exit %d\n", phase_ns / 1e6, (written - start) / 1e6,
         WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
  const int64_t visible = WaitVisible(argv[6], argv[7], start + timeout_ns);
  if (visible < 0) {
    printf("missing %d (upsd never showed %s)\n", expected, argv[7]);
    return 1;
  }
  printf("visible %lld\n", static_cast<long long>((visible - start) / 1000));

  std::map<unsigned long long, int64_t> stamps;
  while (static_cast<int>(stamps.size()) < expected) {
    const int64_t left_ms = (start + timeout_ns - NowNs()) / 1000000LL;
    if (left_ms <= 0) break;
    pollfd entry = {fd, POLLIN, 0};
    const int ready = poll(&entry, 1, static_cast<int>(left_ms));
    if (ready < 0 && errno != EINTR) return 2;
    if (ready <= 0) continue;
    char message[64];
    const ssize_t got = recv(fd, message, sizeof message - 1, 0);
    if (got <= 0) continue;
    message[got] = '\0';
    unsigned long long id = 0;
    long long ns = 0;
    if (sscanf(message, "%llu %lld", &id, &ns) != 2) continue;
    stamps.emplace(id, ns);  // a slave's first stamp counts
  }
  close(fd);
  unlink(path.c_str());
  for (const auto& stamp : stamps)
    printf("stamp %llu %lld\n", stamp.first, static_cast<long long>((stamp.second - start) / 1000));
  const int missing = expected - static_cast<int>(stamps.size());
  printf("missing %d\n", missing > 0 ? missing : 0);
  return missing > 0 ? 1 : 0;
}

int ListenOn(const std::string& spec) {
  const size_t colon = spec.rfind(':');
  if (colon == std::string::npos) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(atoi(spec.c_str() + colon + 1)));
  if (inet_pton(AF_INET, spec.substr(0, colon).c_str(), &address.sin_addr) != 1) return -1;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 64) != 0) {
    return -1;
  }
  return fd;
}

int Silent(int argc, char** argv) {
  if (argc < 4) return 2;
  const int64_t end = NowNs() + atoll(argv[2]) * 1000000000LL;
  std::vector<pollfd> listeners;
  for (int i = 3; i < argc; ++i) {
    const int fd = ListenOn(argv[i]);
    if (fd < 0) {
      fprintf(stderr, "chain silent: cannot listen on %s: %s\n", argv[i], strerror(errno));
      return 1;
    }
    listeners.push_back({fd, POLLIN, 0});
  }
  printf("listening\n");
  fflush(stdout);
  std::vector<int> held;
  while (NowNs() < end) {
    if (poll(listeners.data(), listeners.size(), 1000) <= 0) continue;
    for (pollfd& entry : listeners) {
      if ((entry.revents & POLLIN) == 0) continue;
      const int fd = accept4(entry.fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) held.push_back(fd);  // never read, closed at the end
    }
  }
  return 0;
}

std::string StatusValue(int pid, const std::string& key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, key.size() + 1, key + ":") == 0) {
      std::istringstream value(line.substr(key.size() + 1));
      std::string word;
      value >> word;
      return word;
    }
  }
  return "";
}

// CPU time (ns) summed over the process's threads.
int64_t TaskCpuNs(int pid) {
  int64_t total = 0;
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* tasks = opendir(dir.c_str());
  if (tasks == nullptr) return 0;
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream schedstat(dir + "/" + entry->d_name + "/schedstat");
    long long on_cpu = 0;
    if (schedstat >> on_cpu) total += on_cpu;
  }
  closedir(tasks);
  return total;
}

int Idle(int argc, char** argv) {
  if (argc < 4) return 2;
  const int seconds = atoi(argv[2]);
  std::vector<int> pids;
  for (int i = 3; i < argc; ++i) pids.push_back(atoi(argv[i]));
  int64_t before = 0, after = 0;
  for (int pid : pids) before += TaskCpuNs(pid);
  SleepNs(seconds * 1000000000LL);
  long rss_kb = 0;
  for (int pid : pids) {
    if (kill(pid, 0) != 0) {
      fprintf(stderr, "chain idle: process %d ended\n", pid);
      return 1;
    }
    after += TaskCpuNs(pid);
    rss_kb += atol(StatusValue(pid, "VmRSS").c_str());
  }
  const double ms = (after - before) / 1e6;
  printf("rss_kb %ld cpu_ms_per_min %.3f\n", rss_kb, ms * 60.0 / seconds);
  return 0;
}

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  // Nearest rank.
  size_t rank = static_cast<size_t>(share * values.size() + 0.999999);
  rank = std::min(std::max<size_t>(rank, 1), values.size());
  return values[rank - 1];
}

int Summary(int argc, char** argv) {
  if (argc != 3) return 2;
  std::ifstream file(argv[2]);
  std::vector<double> all, lasts, after, run, seen, seen_lasts, visibles;
  int runs = 0, missing = 0;
  double last = -1, visible = 0;
  auto end_run = [&] {
    if (last >= 0) {
      lasts.push_back(last);
      seen_lasts.push_back(last - visible);
    }
    if (!run.empty()) {
      const double first = *std::min_element(run.begin(), run.end());
      for (double value : run) {
        after.push_back(value - first);
        seen.push_back(value - visible);
      }
    }
    run.clear();
    last = -1;
    visible = 0;
  };
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "run") {
      end_run();
      ++runs;
    } else if (word == "visible") {
      long long us = 0;
      words >> us;
      visible = us / 1000.0;
      visibles.push_back(visible);
    } else if (word == "stamp") {
      long long id = 0, us = 0;
      words >> id >> us;
      all.push_back(us / 1000.0);
      run.push_back(us / 1000.0);
      last = std::max(last, us / 1000.0);
    } else if (word == "missing") {
      int count = 0;
      words >> count;
      missing += count;
    }
  }
  end_run();
  printf("%d %zu %.1f %.1f %.1f %.1f %.1f %d %.1f %.1f %.1f %.1f %.1f %.1f\n", runs, all.size(),
         Percentile(all, 0.5), Percentile(all, 0.99), Percentile(lasts, 0.5),
         Percentile(lasts, 0.99),
         lasts.empty() ? 0.0 : *std::max_element(lasts.begin(), lasts.end()), missing,
         Percentile(after, 0.5), Percentile(seen, 0.5), Percentile(seen, 0.99),
         Percentile(seen_lasts, 0.5), Percentile(seen_lasts, 0.99), Percentile(visibles, 0.5));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  int status = 2;
  if (mode == "fire") status = Fire(argc, argv);
  if (mode == "silent") status = Silent(argc, argv);
  if (mode == "idle") status = Idle(argc, argv);
  if (mode == "summary") status = Summary(argc, argv);
  if (status == 2) {
    fprintf(stderr,
            "usage: chain fire STAMP_SOCKET EXPECTED TIMEOUT_MS PHASE_MAX_MS UPS@HOST:PORT STATUS "
            "-- COMMAND...\n"
            "       chain silent SECONDS ADDRESS:PORT...\n"
            "       chain idle SECONDS PID...\n"
            "       chain summary FILE\n");
  }
  return status;
}

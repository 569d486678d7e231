// The benchmark's caller. It gives orders to the daemon (scrambled frames)
// and to the two floor servers (plain lines; the one that starts its script
// with posix_spawn, and the one with fork and execv, kept for reference),
// interleaving the three, and takes the
// latency of each order from the caller's connect to the first instruction of
// the started script, which reports its monotonic clock on a datagram socket.
// It also holds many connections open while sampling the daemon's memory,
// and measures the daemon's CPU time and wake-ups while idle. The servers
// are called at the IPv4 address in VM_BENCH_HOST (a master on another
// host), on the loopback without it.
//
// Usage:
//   driver compare DAEMON_PORT FLOOR_PORT FORK_FLOOR_PORT STAMP_SOCKET RUNS ORDERS ROUNDS
//                  SECONDS [DAEMON_PID FLOOR_PID FORK_FLOOR_PID]
//   driver hold PORT COUNT PID
//   driver idle PID SECONDS
#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/scramble.h"

namespace {

constexpr int kCallers = 32;
constexpr int kStampWaitMs = 3000;

int64_t NowNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Collects the scripts' datagrams: order number -> monotonic time.
class StampReceiver {
 public:
  explicit StampReceiver(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    unlink(path.c_str());
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      perror("driver: stamp socket");
      exit(1);
    }
    const int size = 4 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    thread_ = std::thread([this] { Run(); });
  }
  ~StampReceiver() {
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.detach();
  }

  // The time of `id`, waiting at most `timeout_ms`; -1 when it did not come.
  int64_t Wait(uint64_t id, int timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool came = arrived_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                        [&] { return stamps_.count(id) != 0; });
    return came ? stamps_[id] : -1;
  }

  // How many orders numbered from `first` reported a time up to `until`.
  int64_t CountFrom(uint64_t first, int64_t until) {
    std::lock_guard<std::mutex> lock(mutex_);
    int64_t count = 0;
    for (auto it = stamps_.lower_bound(first); it != stamps_.end(); ++it) {
      if (it->second <= until) ++count;
    }
    return count;
  }

 private:
  void Run() {
    char buffer[128];
    for (;;) {
      const ssize_t n = recv(fd_, buffer, sizeof buffer - 1, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      buffer[n] = '\0';
      unsigned long long id = 0;
      long long ns = 0;
      if (sscanf(buffer, "%llu %lld", &id, &ns) != 2) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      stamps_[id] = ns;
      arrived_.notify_all();
    }
  }

  int fd_ = -1;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::map<uint64_t, int64_t> stamps_;
};

// The servers' address, read once.
in_addr_t ServerAddress() {
  static const in_addr_t address = [] {
    const char* host = getenv("VM_BENCH_HOST");
    in_addr parsed{};
    if (host != nullptr && inet_pton(AF_INET, host, &parsed) == 1) return parsed.s_addr;
    if (host != nullptr) fprintf(stderr, "driver: VM_BENCH_HOST %s is no IPv4 address\n", host);
    return htonl(INADDR_LOOPBACK);
  }();
  return address;
}

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  timeval limit{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = ServerAddress();
  while (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (errno == EINTR) continue;
    close(fd);
    return -1;
  }
  return fd;
}

bool ReadLine(int fd, std::string* line) {
  line->clear();
  char c;
  for (;;) {
    const ssize_t n = recv(fd, &c, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (c == '\n') break;
    line->push_back(c);
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

bool SendAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WaitClosed(int fd) {
  char buffer[64];
  for (;;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) return true;
    if (n < 0) return false;
  }
}

struct Target {
  const char* name;
  int port;
  bool daemon;  // scrambled frames; otherwise the floor's plain lines
  int pid;      // for its CPU time; 0 when not known
};

// One order numbered `id`; false when the exchange failed.
bool GiveOrder(const Target& target, uint64_t id) {
  const int fd = Connect(target.port);
  if (fd < 0) return false;
  std::string greeting;
  bool ok = ReadLine(fd, &greeting);
  if (ok && target.daemon) ok = Descramble(greeting) == "<|ok|>";
  if (ok) {
    const std::string number = std::to_string(id);
    const std::string line =
        target.daemon ? Scramble("<|1|1|" + number + "|>") + "\r\n" : number + "\n";
    ok = SendAll(fd, line) && WaitClosed(fd);
  }
  close(fd);
  return ok;
}

std::atomic<uint64_t> g_next_id{1};

struct Percentiles {
  double p50_ms = 0;
  double p99_ms = 0;
  int failed = 0;
};

Percentiles Summarise(std::vector<int64_t> latencies, int failed) {
  Percentiles result;
  result.failed = failed;
  if (latencies.empty()) return result;
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double q) {
    const size_t index = std::min(latencies.size() - 1, static_cast<size_t>(q * latencies.size()));
    return latencies[index] / 1e6;
  };
  result.p50_ms = at(0.50);
  result.p99_ms = at(0.99);
  return result;
}

Percentiles Sequential(const Target& target, StampReceiver* stamps, int orders) {
  std::vector<int64_t> latencies;
  int failed = 0;
  for (int i = 0; i < orders; ++i) {
    const uint64_t id = g_next_id++;
    const int64_t start = NowNs();
    const bool ok = GiveOrder(target, id);
    const int64_t stamp = ok ? stamps->Wait(id, kStampWaitMs) : -1;
    if (stamp < 0) {
      ++failed;
    } else {
      latencies.push_back(stamp - start);
    }
  }
  return Summarise(latencies, failed);
}

Percentiles Concurrent(const Target& target, StampReceiver* stamps, int rounds) {
  std::vector<int64_t> latencies;
  int failed = 0;
  for (int round = 0; round < rounds; ++round) {
    std::vector<uint64_t> ids(kCallers);
    std::vector<int64_t> starts(kCallers);
    std::vector<char> ok(kCallers);
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c) {
      ids[c] = g_next_id++;
      callers.emplace_back([&, c] {
        ++ready;
        while (!go.load()) std::this_thread::yield();
        starts[c] = NowNs();
        ok[c] = GiveOrder(target, ids[c]);
      });
    }
    while (ready.load() < kCallers) std::this_thread::yield();
    go = true;
    for (std::thread& caller : callers) caller.join();
    for (int c = 0; c < kCallers; ++c) {
      const int64_t stamp = ok[c] ? stamps->Wait(ids[c], kStampWaitMs) : -1;
      if (stamp < 0) {
        ++failed;
      } else {
        latencies.push_back(stamp - starts[c]);
      }
    }
  }
  return Summarise(latencies, failed);
}

struct Throughput {
  double per_second = 0;
  int64_t failed = 0;
  double cpu_us_per_order = 0;  // the server's own CPU time, all its threads
};

// utime + stime of a process in microseconds, exited threads included; -1
// when unknown.
int64_t ProcessCpuUs(int pid) {
  if (pid <= 0) return -1;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const size_t end = text.rfind(')');
  if (end == std::string::npos) return -1;
  std::istringstream fields(text.substr(end + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = atoll(field.c_str());
    if (i == 15) stime = atoll(field.c_str());
  }
  return (utime + stime) * 1000000LL / sysconf(_SC_CLK_TCK);
}

Throughput Sustained(const Target& target, StampReceiver* stamps, int seconds) {
  const int64_t cpu_before = ProcessCpuUs(target.pid);
  const uint64_t first = g_next_id.load();
  const int64_t start = NowNs();
  const int64_t end = start + static_cast<int64_t>(seconds) * 1000000000LL;
  std::atomic<int64_t> failed{0};
  std::vector<std::thread> callers;
  for (int c = 0; c < kCallers; ++c) {
    callers.emplace_back([&] {
      while (NowNs() < end) {
        if (!GiveOrder(target, g_next_id++)) ++failed;
      }
    });
  }
  for (std::thread& caller : callers) caller.join();
  std::this_thread::sleep_for(std::chrono::milliseconds(kStampWaitMs));
  Throughput result;
  const int64_t carried_out = stamps->CountFrom(first, end);
  result.per_second = static_cast<double>(carried_out) / seconds;
  result.failed = failed.load();
  const int64_t cpu_after = ProcessCpuUs(target.pid);
  if (cpu_before >= 0 && cpu_after >= 0 && carried_out > 0) {
    result.cpu_us_per_order = static_cast<double>(cpu_after - cpu_before) / carried_out;
  }
  return result;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Series {
  std::vector<double> seq_p50, seq_p99, con_p50, con_p99, rate, cpu;
  int64_t failed = 0;
};

void Verdict(const char* what, double ratio, double limit, bool at_most) {
  const bool met = at_most ? ratio <= limit : ratio >= limit;
  printf("%-34s ratio %.3f (target %s %.2f): %s\n", what, ratio, at_most ? "<=" : ">=", limit,
         ratio <= 0 ? "NO DATA"
         : met      ? "met"
                    : "MISSED");
}

int Compare(int argc, char** argv) {
  if (argc != 10 && argc != 13) return 2;
  constexpr int kTargets = 3;
  auto pid = [&](int i) { return argc == 13 ? atoi(argv[10 + i]) : 0; };
  // The third server is the fork floor, or what VM_BENCH_REFERENCE names.
  const char* reference = getenv("VM_BENCH_REFERENCE");
  if (reference == nullptr || *reference == '\0') reference = "fork";
  const Target targets[kTargets] = {{"qslx", atoi(argv[2]), true, pid(0)},
                                    {"floor", atoi(argv[3]), false, pid(1)},
                                    {reference, atoi(argv[4]), false, pid(2)}};
  StampReceiver stamps(argv[5]);
  const int runs = atoi(argv[6]);
  const int orders = atoi(argv[7]);
  const int rounds = atoi(argv[8]);
  const int seconds = atoi(argv[9]);
  Series series[kTargets];

  // Warm every path (page cache, first thread stacks) before measuring.
  for (const Target& target : targets) Sequential(target, &stamps, 20);

  for (int run = 0; run < runs; ++run) {
    for (int k = 0; k < kTargets; ++k) {
      const int t = (run + k) % kTargets;  // rotate which one goes first
      const Target& target = targets[t];
      const Percentiles one = Sequential(target, &stamps, orders);
      const Percentiles many = Concurrent(target, &stamps, rounds);
      series[t].seq_p50.push_back(one.p50_ms);
      series[t].seq_p99.push_back(one.p99_ms);
      series[t].con_p50.push_back(many.p50_ms);
      series[t].con_p99.push_back(many.p99_ms);
      series[t].failed += one.failed + many.failed;
      printf("run %d %-5s  1 caller p50 %.3f ms p99 %.3f ms | 32 callers p50 %.3f ms p99 %.3f ms",
             run + 1, target.name, one.p50_ms, one.p99_ms, many.p50_ms, many.p99_ms);
      if (seconds > 0 && run < 3) {
        const Throughput rate = Sustained(target, &stamps, seconds);
        series[t].rate.push_back(rate.per_second);
        series[t].cpu.push_back(rate.cpu_us_per_order);
        series[t].failed += rate.failed;
        printf(" | %.0f orders/s, %.0f us CPU each", rate.per_second, rate.cpu_us_per_order);
      }
      printf(" | failed %d\n", one.failed + many.failed);
      fflush(stdout);
    }
  }

  printf("\nmedians over %d runs (%d sequential orders, %d rounds of %d callers per run)\n", runs,
         orders, rounds, kCallers);
  if (strcmp(reference, "reap") == 0) {
    printf(
        "floor: posix_spawn; reap: the same floor reaping its scripts, a thread woken by each "
        "SIGCHLD\n");
  } else {
    printf("floor: posix_spawn; fork: the floor with fork and execv, for reference\n");
  }
  const std::string to_reference = std::string("/") + reference;
  printf("%-30s %10s %10s %10s %7s %7s\n", "", "qslx", "floor", reference, "ratio",
         to_reference.c_str());
  struct Row {
    const char* name;
    std::vector<double> Series::*values;
  } rows[] = {{"latency 1 caller p50 (ms)", &Series::seq_p50},
              {"latency 1 caller p99 (ms)", &Series::seq_p99},
              {"latency 32 callers p50 (ms)", &Series::con_p50},
              {"latency 32 callers p99 (ms)", &Series::con_p99},
              {"orders per second, 32 callers", &Series::rate},
              {"server CPU per order (us)", &Series::cpu}};
  double ratio[6] = {};
  for (int r = 0; r < 6; ++r) {
    double median[kTargets];
    for (int t = 0; t < kTargets; ++t) median[t] = Median(series[t].*(rows[r].values));
    ratio[r] = median[1] > 0 ? median[0] / median[1] : 0;
    const double to_fork = median[2] > 0 ? median[0] / median[2] : 0;
    printf("%-30s %10.3f %10.3f %10.3f %7.3f %7.3f\n", rows[r].name, median[0], median[1],
           median[2], ratio[r], to_fork);
  }
  printf("failed orders: qslx %lld, floor %lld, %s %lld\n\n",
         static_cast<long long>(series[0].failed), static_cast<long long>(series[1].failed),
         reference, static_cast<long long>(series[2].failed));
  Verdict("latency p50, 1 caller", ratio[0], 1.1, true);
  Verdict("latency p99, 1 caller", ratio[1], 1.25, true);
  Verdict("latency p50, 32 callers", ratio[2], 1.1, true);
  Verdict("latency p99, 32 callers", ratio[3], 1.25, true);
  if (seconds > 0) {
    Verdict("throughput, 32 callers", ratio[4], 0.9, false);
    Verdict("server CPU per order", ratio[5], 1.3, true);
  }
  return 0;
}

std::string StatusValue(int pid, const std::string& key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, key.size() + 1, key + ":") == 0) {
      std::istringstream rest(line.substr(key.size() + 1));
      std::string value;
      rest >> value;
      return value;
    }
  }
  return "?";
}

int Hold(int argc, char** argv) {
  if (argc != 5) return 2;
  const int port = atoi(argv[2]);
  const int count = atoi(argv[3]);
  const int pid = atoi(argv[4]);
  rlimit files;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  printf("idle: VmRSS %s kB, threads %s\n", StatusValue(pid, "VmRSS").c_str(),
         StatusValue(pid, "Threads").c_str());
  std::vector<int> open;
  int greeted = 0;
  for (int i = 0; i < count; ++i) {
    const int fd = Connect(port);
    if (fd < 0) break;
    open.push_back(fd);
    std::string greeting;
    if (ReadLine(fd, &greeting) && Descramble(greeting) == "<|ok|>") ++greeted;
  }
  long peak = 0;
  std::string threads;
  for (int sample = 0; sample < 10; ++sample) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    peak = std::max(peak, atol(StatusValue(pid, "VmRSS").c_str()));
    threads = StatusValue(pid, "Threads");
  }
  printf("%d connections open, %d greeted: VmRSS peak %ld kB, VmHWM %s kB, threads %s\n",
         static_cast<int>(open.size()), greeted, peak, StatusValue(pid, "VmHWM").c_str(),
         threads.c_str());
  for (int fd : open) close(fd);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  printf("after closing: VmRSS %s kB, threads %s\n", StatusValue(pid, "VmRSS").c_str(),
         StatusValue(pid, "Threads").c_str());
  return greeted == count ? 0 : 1;
}

// CPU time (ns) and context switches summed over the process's threads.
void TaskTotals(int pid, int64_t* cpu_ns, int64_t* switches) {
  *cpu_ns = 0;
  *switches = 0;
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* tasks = opendir(dir.c_str());
  if (tasks == nullptr) return;
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream schedstat(dir + "/" + entry->d_name + "/schedstat");
    long long on_cpu = 0;
    if (schedstat >> on_cpu) *cpu_ns += on_cpu;
    std::ifstream status(dir + "/" + entry->d_name + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.find("ctxt_switches:") != std::string::npos) {
        *switches += atoll(line.substr(line.find(':') + 1).c_str());
      }
    }
  }
  closedir(tasks);
}

int Idle(int argc, char** argv) {
  if (argc != 4) return 2;
  const int pid = atoi(argv[2]);
  const int seconds = atoi(argv[3]);
  int64_t cpu_before, switches_before, cpu_after, switches_after;
  TaskTotals(pid, &cpu_before, &switches_before);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  TaskTotals(pid, &cpu_after, &switches_after);
  const double ms = (cpu_after - cpu_before) / 1e6;
  printf("idle %d s: CPU %.3f ms (%.3f ms per minute), %lld context switches; VmRSS %s kB\n",
         seconds, ms, ms * 60.0 / seconds, static_cast<long long>(switches_after - switches_before),
         StatusValue(pid, "VmRSS").c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  int status = 2;
  if (mode == "compare") status = Compare(argc, argv);
  if (mode == "hold") status = Hold(argc, argv);
  if (mode == "idle") status = Idle(argc, argv);
  if (status == 2) {
    fprintf(stderr,
            "usage: driver compare DAEMON_PORT FLOOR_PORT FORK_FLOOR_PORT STAMP_SOCKET RUNS ORDERS "
            "ROUNDS SECONDS [DAEMON_PID FLOOR_PID FORK_FLOOR_PID]\n"
            "       driver hold PORT COUNT PID\n"
            "       driver idle PID SECONDS\n");
  }
  return status;
}

// The script the benchmark has started for each order: it reads the monotonic
// clock first, then reports the order's number and that time as one datagram
// to the socket named by VM_BENCH_STAMPS. The number is the first run of
// digits in its single argument, so the daemon's quoted message text and the
// floor server's plain line both work. Where VM_BENCH_ID is set (the chain
// benchmark's slaves, whose shutdown script gets no number), the number is
// taken from it instead.
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const char* path = getenv("VM_BENCH_STAMPS");
  const char* text = getenv("VM_BENCH_ID");
  if (text == nullptr && argc >= 2) text = argv[1];
  if (path == nullptr || text == nullptr) return 2;

  const char* digits = text;
  while (*digits != '\0' && (*digits < '0' || *digits > '9')) ++digits;
  const unsigned long long id = strtoull(digits, nullptr, 10);
  const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;

  char message[64];
  const int length = snprintf(message, sizeof message, "%llu %lld", id, ns);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (strlen(path) >= sizeof address.sun_path) return 2;
  strcpy(address.sun_path, path);

  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 1;
  const ssize_t sent = sendto(fd, message, static_cast<size_t>(length), 0,
                              reinterpret_cast<sockaddr*>(&address), sizeof address);
  close(fd);
  return sent == length ? 0 : 1;
}

// The master server: watches the UPS through NUT and carries out the
// configured events.
#include <malloc.h>

#include "wksrv/nut_link.h"
#include "wksrv/server.h"

namespace {

// A connect to upsd is given up after this, and a line after kIoTimeoutS.
constexpr int kConnectTimeoutMs = 3000;
constexpr int kIoTimeoutS = 5;

}  // namespace

int main(int argc, char** argv) {
  // One malloc arena for all threads keeps the idle server small.
  mallopt(M_ARENA_MAX, 1);
  return WksrvMain(argc, argv, [](const TMasterSettings& master) {
    return std::make_unique<TNutLink>(master, kConnectTimeoutMs, kIoTimeoutS);
  });
}

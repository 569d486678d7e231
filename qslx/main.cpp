// The slave-mode daemon: shuts this computer down when its master says so.
#include <malloc.h>

#include "qslx/daemon.h"

int main(int argc, char** argv) {
  // One malloc arena for all threads keeps the idle daemon small.
  mallopt(M_ARENA_MAX, 1);
  return QsMain(argc, argv);
}

// The configuration console of the master server.
#include "wkcfg/ui/console_flow.h"

int main(int argc, char** argv) {
  return ConsoleMain(argc, argv);
}

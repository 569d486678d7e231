// Entry of the `install` program.
#include "install/installer.h"

int main(int argc, char** argv) {
  return InstallerMain(argc, argv);
}

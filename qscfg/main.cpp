// The configuration program of the QS System slave daemon.
#include "qscfg/flow.h"

int main(int argc, char** argv) {
  return QsConfigMain(argc, argv);
}

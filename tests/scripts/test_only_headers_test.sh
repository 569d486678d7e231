#!/bin/bash
# The test helpers kept beside the code they serve (the fake terminal, the
# test trees, qscfg's fake probes) stay out of the programs: outside tests/
# only unit tests, other test trees and the fake terminal's own source
# include them.
#
#   test_only_headers_test.sh SOURCE_DIR
set -u
cd "$1" || exit 1
helpers='#include "[^"]*(fake_terminal|_test_tree|test_probes)\.h"'
found=$(find . \( -path ./tests -o -path './build*' -o -path ./.git \) -prune -o \
  -type f \( -name '*.cpp' -o -name '*.h' \) \
  ! -name '*_test.cpp' ! -name '*_test_tree.h' ! -name 'fake_terminal.cpp' -print |
  xargs -r grep -lE "$helpers")
if [ -n "$found" ]; then
  echo "production files that include a test helper:"
  echo "$found"
  exit 1
fi
echo "no production file includes a test helper"

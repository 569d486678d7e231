// Fuzzes the scrambling in both directions: arbitrary wire text must
// descramble without fault into half its length, and any bytes must survive a
// scramble and descramble unchanged, whatever the letter case of the digits.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/scramble.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool IsUpperHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  const std::string clear = Descramble(input);
  Require(clear.size() == input.size() / 2);

  const std::string wire = Scramble(input);
  Require(wire.size() == 2 * input.size());
  for (char c : wire) Require(IsUpperHex(c));
  Require(Descramble(wire) == input);

  std::string lower = wire;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  Require(Descramble(lower) == input);

  // A trailing odd digit never changes what comes before it.
  Require(Descramble(wire + input.substr(0, 1)) == input);

  // Each value starts from the start key: no state carries over between calls.
  Require(Scramble(input) == wire);
  return 0;
}

// Fuzzes the alive-reply check. Its verdict must agree with the frame rules
// applied by hand: exactly the two fields "5" and "Vantrel Wattkeep". The
// input is tried both as the descrambled reply and as the wire line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/scramble.h"
#include "common/text.h"
#include "qslx/alive.h"
#include "qslx/frame.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

bool Expected(const std::string& reply) {
  TextList fields;
  if (!TakeFrameApart(reply, &fields)) return false;
  int32_t number = 0;
  return fields.size() == 2 && ParseInt32(fields[0], &number) && number == 5 &&
         fields[1] == "Vantrel Wattkeep";
}

void Check(const std::string& reply) {
  const bool valid = IsValidAliveReply(reply);
  Require(valid == Expected(reply));
  if (valid) {
    Require(reply.front() == '<' && reply.back() == '>');
    Require(reply.find("Vantrel Wattkeep") != std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Check(input);
  Check(Descramble(input));
  return 0;
}

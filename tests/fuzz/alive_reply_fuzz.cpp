// Fuzzes the alive-reply check with properties every verdict must have and,
// for replies built from the input, the verdict known by construction.
//
// Input: one flag byte, then the reply. Flag bit 1: the reply is not taken as
// it is but built into a frame from its bytes; otherwise it is tried both as
// the descrambled reply and as the wire line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/scramble.h"
#include "qslx/alive.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const char kIdentity[] = "Vantrel Wattkeep";

// What holds for any reply the check accepts: one frame of two fields that
// holds the identity, which no longer passes in another case or with a third
// field.
void CheckProperties(const std::string& reply) {
  if (!IsValidAliveReply(reply)) return;
  Require(reply.front() == '<' && reply.back() == '>');
  Require(std::count(reply.begin(), reply.end(), '|') == 3);
  const size_t second_bar = reply.find('|', reply.find('|') + 1);
  const size_t at = reply.find(kIdentity, second_bar);
  Require(at != std::string::npos);
  std::string other_case = reply;
  other_case[at] = 'v';
  Require(!IsValidAliveReply(other_case));
  std::string third_field = reply;
  third_field.insert(reply.size() - 1, "|x");
  Require(!IsValidAliveReply(third_field));
}

// Builds "<|number|identity|>" with control bytes around the fields, the
// number one of a few spellings and the identity exact or spoilt, and checks
// the verdict against what the reply was built to be.
void CheckConstructed(const std::string& bytes) {
  if (bytes.size() < 4) return;
  static const char* const kNumbers[] = {"5", "05", "+5", "4", "6", "-5", "5x", "", "55"};
  const size_t number = static_cast<unsigned char>(bytes[0]) % 9;
  static const char kPads[] = {' ', '\t', '\r', '\x01'};
  const std::string pad((bytes[1] & 3), kPads[(bytes[1] >> 2) & 3]);
  const int spoil = static_cast<unsigned char>(bytes[2]) % 4;  // 0: the identity as it is
  std::string identity = kIdentity;
  const size_t at = static_cast<unsigned char>(bytes[3]) % identity.size();
  if (spoil == 1) identity[at] = identity[at] == ' ' ? '_' : static_cast<char>(identity[at] ^ 0x20);
  if (spoil == 2) identity.erase(at, 1);
  if (spoil == 3) identity += "|" + bytes.substr(4);
  const std::string reply = "<|" + pad + kNumbers[number] + pad + "|" + pad + identity + pad + "|>";
  CheckProperties(reply);
  Require(IsValidAliveReply(reply) == (number < 3 && spoil == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  if (flags & 0x02) {
    CheckConstructed(input);
    return 0;
  }
  CheckProperties(input);
  CheckProperties(Descramble(input));
  return 0;
}

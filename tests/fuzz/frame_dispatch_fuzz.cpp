// Fuzzes taking a request frame apart and dispatching it. The dispatch is
// pure: it returns the order instead of starting a program.
//
// Input: one flag byte, then the request. Flag bit 0: the request is a wire
// line and is descrambled first, as the daemon does. Bits 1-5: which of the
// five script paths are left empty in the settings. Bit 6: the request is not
// taken as it is but built into a well-formed frame from its bytes, so that
// the expected order is known by construction; otherwise only the properties
// every order must have are checked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/scramble.h"
#include "common/text.h"
#include "qslx/dispatch.h"
#include "qslx/frame.h"
#include "qslx/setup.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

TQsSetupData SetupFor(uint8_t flags) {
  TQsSetupData setup;
  setup.InstallPath = "/usr/vantrel/voltmon/";
  setup.ScriptShutdown = (flags & 0x02) ? "" : "/s/shutdown.sh";
  setup.ScriptMessage = (flags & 0x04) ? "" : "/s/message.sh";
  setup.ScriptCustom_1 = (flags & 0x08) ? "" : "/s/custom1.sh";
  setup.ScriptCustom_2 = (flags & 0x10) ? "" : "/s/custom2.sh";
  setup.ScriptCustom_3 = (flags & 0x20) ? "" : "/s/custom3.sh";
  return setup;
}

// The program each event key belongs to; nullptr for a key no order has.
const std::string* ProgramOf(const std::string& key, const TQsSetupData& setup) {
  if (key == "LogShutdown") return &setup.ScriptShutdown;
  if (key == "LogMessage") return &setup.ScriptMessage;
  if (key == "LogCustom_1") return &setup.ScriptCustom_1;
  if (key == "LogCustom_2") return &setup.ScriptCustom_2;
  if (key == "LogCustom_3") return &setup.ScriptCustom_3;
  return nullptr;
}

bool IsEdgeByte(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// What holds for the order of any frame at all.
void CheckProperties(const std::string& frame, const TQsSetupData& setup, const TQsOrder& order) {
  TTextList fields;
  if (TakeFrameApart(frame, &fields)) {
    Require(frame.front() == '<' && frame.back() == '>');
    for (const std::string& field : fields) Require(field.find('|') == std::string::npos);
  }
  Require(order.log_program_first == (order.event_key == "LogCustom_2"));
  if (order.event_key == "LogUnknown") {
    Require(order.program.empty());
    return;
  }
  const std::string* program = ProgramOf(order.event_key, setup);
  Require(program != nullptr && order.program == *program);
  // Only a frame with at least a number and a command gives an order.
  Require(!frame.empty() && frame.front() == '<' && frame.back() == '>');
  Require(fields.size() >= 2);
  if (order.event_key == "LogMessage") {
    const std::string& a = order.argument;
    Require(a.size() >= 3 && a.front() == '"' && a.back() == '"');
    const std::string text = a.substr(1, a.size() - 2);
    Require(text.find('|') == std::string::npos);
    Require(!IsEdgeByte(text.front()) && !IsEdgeByte(text.back()));
    Require(frame.find(text) != std::string::npos);
  } else {
    Require(order.argument.empty());
  }
}

// Builds "<|id|command|text|>" with blanks around the fields from `bytes`
// and checks the order against what the frame was built to ask for.
void CheckConstructed(const std::string& bytes, const TQsSetupData& setup) {
  if (bytes.size() < 2) return;
  const int command = static_cast<unsigned char>(bytes[0]) % 8 - 1;  // -1 .. 6
  const bool id_is_number = (bytes[1] & 1) == 0;
  const std::string pad((bytes[1] >> 1) & 3, ' ');
  std::string text;
  for (char c : bytes.substr(2)) {
    if (c != '|') text += c;
  }
  const std::string id = id_is_number ? std::to_string(static_cast<unsigned char>(bytes[1])) : "x";
  std::string frame = "<|" + pad + id + pad + "|" + pad + std::to_string(command) + pad;
  if (command == 1) frame += "|" + text;
  frame += "|>";

  const TQsOrder order = DispatchFrame(frame, setup);
  CheckProperties(frame, setup, order);
  std::string key = "LogUnknown";
  std::string argument;
  const std::string trimmed = TrimControls(text);
  if (id_is_number) {
    static const char* const kKeys[] = {"LogShutdown", "LogMessage", "LogCustom_1", "LogCustom_2",
                                        "LogCustom_3"};
    if (command >= 0 && command <= 4) key = kKeys[command];
    if (command == 1) {
      if (trimmed.empty()) {
        key = "LogUnknown";
      } else {
        argument = "\"" + trimmed + "\"";
      }
    }
  }
  Require(order.event_key == key);
  if (!order.program.empty()) Require(order.argument == argument);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  const std::string request(reinterpret_cast<const char*>(data + 1), size - 1);
  const TQsSetupData setup = SetupFor(flags);
  if (flags & 0x40) {
    CheckConstructed(request, setup);
    return 0;
  }
  const std::string frame = (flags & 0x01) ? Descramble(request) : request;
  CheckProperties(frame, setup, DispatchFrame(frame, setup));
  return 0;
}

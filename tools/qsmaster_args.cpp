// Command-line rules of qsmaster. An order is built here as the master server
// builds it: "<|" id "|" command, for a message "|" text, then "|>". A text
// holding "|" cannot travel in a field, so it is refused instead of being cut
// at the daemon's end; --raw sends such frames on purpose.

#include "tools/qsmaster_args.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool ParseInteger(const std::string& text, int64_t min, int64_t max, int64_t* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || text[0] == ' ' || text[0] == '+') return false;
  if (parsed < min || parsed > max) return false;
  *value = parsed;
  return true;
}

bool ParsePort(const std::string& text, uint16_t* port, std::string* error) {
  int64_t value = 0;
  if (!ParseInteger(text, 1, 65535, &value)) {
    *error = "not a port (1-65535): '" + text + "'";
    return false;
  }
  *port = static_cast<uint16_t>(value);
  return true;
}

bool ParseSend(const std::vector<std::string>& args, MasterSend* send, std::string* error) {
  std::vector<std::string> positional;
  std::string id = "1";
  std::string raw;
  std::string plain;
  bool has_raw = false;
  bool has_plain = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool takes_value = arg == "--id" || arg == "--bind" || arg == "--timeout" || arg == "--raw" ||
                       arg == "--plain";
    if (!takes_value) {
      if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
        *error = "unknown option " + arg;
        return false;
      }
      positional.push_back(arg);
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = arg + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    int64_t number = 0;
    if (arg == "--id") {
      if (!ParseInteger(value, INT32_MIN, INT32_MAX, &number)) {
        *error = "--id wants a 32-bit integer, got '" + value + "'";
        return false;
      }
      id = value;
    } else if (arg == "--bind") {
      send->bind = value;
    } else if (arg == "--timeout") {
      if (!ParseInteger(value, 1, 3600, &number)) {
        *error = "--timeout wants seconds (1-3600), got '" + value + "'";
        return false;
      }
      send->timeout_seconds = static_cast<int>(number);
    } else if (arg == "--raw") {
      raw = value;
      has_raw = true;
    } else {
      plain = value;
      has_plain = true;
    }
  }
  if (has_raw && has_plain) {
    *error = "--raw and --plain exclude each other";
    return false;
  }
  size_t wanted_min = has_raw || has_plain ? 2 : 3;
  size_t wanted_max = has_raw || has_plain ? 2 : 4;
  if (positional.size() < wanted_min || positional.size() > wanted_max) {
    *error = has_raw || has_plain ? "send with --raw or --plain wants HOST PORT"
                                  : "send wants HOST PORT COMMAND [MESSAGE]";
    return false;
  }
  send->host = positional[0];
  if (!ParsePort(positional[1], &send->port, error)) return false;
  if (has_raw || has_plain) {
    send->line = has_raw ? raw : plain;
    send->plain = has_plain;
    return true;
  }
  int64_t command = 0;
  // Other numbers are no order at all; --raw sends such frames on purpose.
  if (!ParseInteger(positional[2], 0, 4, &command)) {
    *error =
        "COMMAND must be 0 shut down, 1 message or 2-4 custom scripts (use --raw for "
        "other frames), got '" +
        positional[2] + "'";
    return false;
  }
  send->line = "<|" + id + "|" + positional[2];
  if (positional.size() == 4) {
    if (positional[3].find('|') != std::string::npos) {
      *error = "a message cannot hold '|' (use --raw to send such a frame)";
      return false;
    }
    send->line += "|" + positional[3];
  }
  send->line += "|>";
  return true;
}

bool ParseServe(const std::vector<std::string>& args, MasterServe* serve, std::string* error) {
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--silent") {
      serve->silent = true;
      continue;
    }
    if (arg != "--bind" && arg != "--reply" && arg != "--count") {
      if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
        *error = "unknown option " + arg;
        return false;
      }
      positional.push_back(arg);
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = arg + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    if (arg == "--bind") {
      serve->bind = value;
    } else if (arg == "--reply") {
      serve->reply = value;
    } else if (!ParseInteger(value, 1, INT32_MAX, &serve->count)) {
      *error = "--count wants a positive number, got '" + value + "'";
      return false;
    }
  }
  if (positional.size() != 1) {
    *error = "serve-alive wants PORT";
    return false;
  }
  return ParsePort(positional[0], &serve->port, error);
}

}  // namespace

bool ParseMasterArgs(const std::vector<std::string>& args, MasterArgs* parsed, std::string* error) {
  *parsed = MasterArgs();
  if (args.empty()) {
    *error = "no mode given";
    return false;
  }
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      parsed->mode = MasterArgs::Mode::kHelp;
      return true;
    }
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "send") {
    parsed->mode = MasterArgs::Mode::kSend;
    return ParseSend(rest, &parsed->send, error);
  }
  if (args[0] == "serve-alive") {
    parsed->mode = MasterArgs::Mode::kServe;
    return ParseServe(rest, &parsed->serve, error);
  }
  *error = "unknown mode '" + args[0] + "'";
  return false;
}

std::string MasterUsage() {
  return "Usage:\n"
         "  qsmaster send HOST PORT COMMAND [MESSAGE] [--id N] [--bind ADDR] [--timeout SEC]\n"
         "  qsmaster send HOST PORT --raw FRAME [--bind ADDR] [--timeout SEC]\n"
         "  qsmaster send HOST PORT --plain LINE [--bind ADDR] [--timeout SEC]\n"
         "  qsmaster serve-alive PORT [--bind ADDR] [--reply FRAME] [--silent] [--count N]\n"
         "\n"
         "A stand-in master server for trying a QS System daemon.\n"
         "\n"
         "send: connects to the daemon at HOST:PORT, prints the greeting it got\n"
         "  (\"greeting: <|ok|>\" or \"greeting: <|KO|>\") and, when accepted, sends one\n"
         "  scrambled order \"<|N|COMMAND|>\", or \"<|N|COMMAND|MESSAGE|>\" with a message.\n"
         "  COMMAND: 0 shut down, 1 show MESSAGE, 2 to 4 custom scripts 1 to 3.\n"
         "  --id N        the number of the order's first field (default 1)\n"
         "  --raw FRAME   sends FRAME, scrambled, instead of an order\n"
         "  --plain LINE  sends LINE exactly as given, not scrambled\n"
         "  --bind ADDR   connects from the local address ADDR\n"
         "  --timeout SEC limit for the connection and for the greeting (default 5)\n"
         "  Exit status: 0 accepted and sent, 1 refused, 2 on any error.\n"
         "\n"
         "serve-alive: answers the daemon's alive checks on PORT: reads one line per\n"
         "  connection and answers \"<|5|Vantrel Wattkeep|>\", scrambled; prints one\n"
         "  line per exchange. Ends after N connections, or on SIGTERM or SIGINT.\n"
         "  --bind ADDR   listens on ADDR only (default all local addresses)\n"
         "  --reply FRAME answers FRAME instead\n"
         "  --silent      answers nothing and keeps each connection open\n"
         "  --count N     ends after N connections\n"
         "  Exit status: 0, or 2 when the port cannot be served.\n";
}

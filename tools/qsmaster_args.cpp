// Command-line rules of qsmaster. Each mode is a table of its options and a
// check of its positional arguments; one loop applies the tables. An order is
// built here as the master server builds it: "<|" id "|" command, for a
// message "|" text, then "|>". A text holding "|" cannot travel in a field,
// so it is refused instead of being cut at the daemon's end; --raw sends
// such frames on purpose.

#include "tools/qsmaster_args.h"

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "common/orders.h"
#include "qslx/request_line.h"

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

// One option of a mode. A flag's `apply` gets the empty text.
struct TOptionRule {
  const char* name;
  bool takes_value;
  std::function<bool(const std::string& value, std::string* error)> apply;
};

// Applies the rules to the options of `args` and collects the rest in
// order; an unknown "--" word or a missing value is an error.
bool ApplyOptions(const std::vector<std::string>& args, const std::vector<TOptionRule>& rules,
                  std::vector<std::string>* positional, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const TOptionRule* rule = nullptr;
    for (const TOptionRule& candidate : rules) {
      if (arg == candidate.name) rule = &candidate;
    }
    if (rule == nullptr) {
      if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
        *error = "unknown option " + arg;
        return false;
      }
      positional->push_back(arg);
      continue;
    }
    if (rule->takes_value && i + 1 >= args.size()) {
      *error = arg + " needs a value";
      return false;
    }
    if (!rule->apply(rule->takes_value ? args[++i] : std::string(), error)) return false;
  }
  return true;
}

// A rule that stores its value as it is.
TOptionRule TextOption(const char* name, std::string* target, bool* seen = nullptr) {
  return {name, true, [target, seen](const std::string& value, std::string*) {
            *target = value;
            if (seen != nullptr) *seen = true;
            return true;
          }};
}

TOptionRule FlagOption(const char* name, bool* target) {
  return {name, false, [target](const std::string&, std::string*) { return *target = true; }};
}

// A rule for a whole number within [min, max]; `what` names it in the error.
TOptionRule NumberOption(const char* name, int64_t min, int64_t max, const std::string& what,
                         int64_t* target) {
  return {name, true, [=](const std::string& value, std::string* error) {
            if (ParseInteger(value, min, max, target)) return true;
            *error = std::string(name) + " wants " + what + ", got '" + value + "'";
            return false;
          }};
}

// The daemon drops a longer line unread, after greeting "<|ok|>": such an
// order would look accepted and do nothing, so it is never sent.
bool FitsRequestLine(const TMasterSend& send, std::string* error) {
  // Scrambling makes two hexadecimal digits of every byte.
  *error = RequestLineProblem(send.plain ? send.line.size() : 2 * send.line.size());
  return error->empty();
}

bool ParseSend(const std::vector<std::string>& args, TMasterSend* send, std::string* error) {
  std::string raw;
  std::string plain;
  bool has_raw = false;
  bool has_plain = false;
  std::string id = "1";
  int64_t timeout = send->timeout_seconds;
  const std::vector<TOptionRule> rules = {
      // The text as given goes into the frame.
      {"--id", true,
       [&id](const std::string& value, std::string* error) {
         int64_t number = 0;
         if (!ParseInteger(value, INT32_MIN, INT32_MAX, &number)) {
           *error = "--id wants a 32-bit integer, got '" + value + "'";
           return false;
         }
         id = value;
         return true;
       }},
      TextOption("--bind", &send->bind),
      NumberOption("--timeout", 1, 3600, "seconds (1-3600)", &timeout),
      TextOption("--raw", &raw, &has_raw),
      TextOption("--plain", &plain, &has_plain),
  };
  std::vector<std::string> positional;
  if (!ApplyOptions(args, rules, &positional, error)) return false;
  send->timeout_seconds = static_cast<int>(timeout);
  if (has_raw && has_plain) {
    *error = "--raw and --plain exclude each other";
    return false;
  }
  const bool exact = has_raw || has_plain;
  size_t wanted_min = exact ? 2 : 3;
  size_t wanted_max = exact ? 2 : 4;
  if (positional.size() < wanted_min || positional.size() > wanted_max) {
    *error = exact ? "send with --raw or --plain wants HOST PORT"
                   : "send wants HOST PORT COMMAND [MESSAGE]";
    return false;
  }
  send->host = positional[0];
  if (!ParsePort(positional[1], &send->port, error)) return false;
  if (exact) {
    send->line = has_raw ? raw : plain;
    send->plain = has_plain;
    return FitsRequestLine(*send, error);
  }
  int64_t command = 0;
  // Other numbers are no order at all; --raw sends such frames on purpose.
  if (!ParseInteger(positional[2], 0, kOrderCount - 1, &command)) {
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
  return FitsRequestLine(*send, error);
}

bool ParseServe(const std::vector<std::string>& args, TMasterServe* serve, std::string* error) {
  const std::vector<TOptionRule> rules = {
      FlagOption("--silent", &serve->silent),
      TextOption("--bind", &serve->bind),
      TextOption("--reply", &serve->reply),
      NumberOption("--count", 1, INT32_MAX, "a positive number", &serve->count),
  };
  std::vector<std::string> positional;
  if (!ApplyOptions(args, rules, &positional, error)) return false;
  if (positional.size() != 1) {
    *error = "serve-alive wants PORT";
    return false;
  }
  return ParsePort(positional[0], &serve->port, error);
}

// "fire EVENT_CODE" with `with_event`, else "events" without one.
bool ParseFire(const std::vector<std::string>& args, bool with_event, TMasterFire* fire,
               std::string* error) {
  std::vector<TOptionRule> rules = {
      {"--config", true, [fire](const std::string& value, std::string* error) {
         fire->config = value;
         if (!value.empty()) return true;
         *error = "--config wants a file";
         return false;
       }}};
  if (with_event) {
    rules.push_back(FlagOption("--dry-run", &fire->dry_run));
    rules.push_back(FlagOption("--yes", &fire->yes));
  }
  std::vector<std::string> positional;
  if (!ApplyOptions(args, rules, &positional, error)) return false;
  if (!with_event) {
    if (positional.empty()) return true;
    *error = "events takes no argument, got '" + positional[0] + "'";
    return false;
  }
  int64_t code = 0;
  if (positional.size() != 1) {
    *error = "fire wants EVENT_CODE";
    return false;
  }
  if (!ParseInteger(positional[0], 0, 255, &code)) {
    *error = "EVENT_CODE must be an event code (0-255), got '" + positional[0] + "'";
    return false;
  }
  fire->event_code = static_cast<int32_t>(code);
  return true;
}

}  // namespace

bool ParseMasterArgs(const std::vector<std::string>& args, TMasterArgs* parsed,
                     std::string* error) {
  *parsed = TMasterArgs();
  if (args.empty()) {
    *error = "no mode given";
    return false;
  }
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      parsed->mode = TMasterArgs::TMode::kHelp;
      return true;
    }
  }
  if (args[0] == "-v" || args[0] == "--version") {
    parsed->mode = TMasterArgs::TMode::kVersion;
    if (args.size() == 1) return true;
    *error = args[0] + " takes no argument";
    return false;
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "send") {
    parsed->mode = TMasterArgs::TMode::kSend;
    return ParseSend(rest, &parsed->send, error);
  }
  if (args[0] == "serve-alive") {
    parsed->mode = TMasterArgs::TMode::kServe;
    return ParseServe(rest, &parsed->serve, error);
  }
  if (args[0] == "fire" || args[0] == "events") {
    const bool fire = args[0] == "fire";
    parsed->mode = fire ? TMasterArgs::TMode::kFire : TMasterArgs::TMode::kEvents;
    return ParseFire(rest, fire, &parsed->fire, error);
  }
  *error = "unknown mode '" + args[0] + "'";
  return false;
}

std::string MasterUsage() {
  return std::string(
             "Usage:\n"
             "  qsmaster send HOST PORT COMMAND [MESSAGE] [--id N] [--bind ADDR] [--timeout SEC]\n"
             "  qsmaster send HOST PORT --raw FRAME [--bind ADDR] [--timeout SEC]\n"
             "  qsmaster send HOST PORT --plain LINE [--bind ADDR] [--timeout SEC]\n"
             "  qsmaster serve-alive PORT [--bind ADDR] [--reply FRAME] [--silent] [--count N]\n"
             "  qsmaster fire EVENT_CODE [--config PATH] [--dry-run] [--yes]\n"
             "  qsmaster events [--config PATH]\n"
             "  qsmaster -v | --version\n"
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
             "  A request line longer than the daemon reads (") +
         std::to_string(kMaxRequestLine) +
         " bytes as sent) is refused\n"
         "  before connecting.\n"
         "  Exit status: 0 accepted and sent, 1 refused, 2 on any error.\n"
         "\n"
         "serve-alive: answers the daemon's alive checks on PORT with the master\n"
         "  server's own alive service: each scrambled \"<|5|>\" line gets\n"
         "  \"<|5|Vantrel Wattkeep|>\", scrambled; any other line ends the connection\n"
         "  unanswered. Prints one line per exchange. Ends after N connections, or on\n"
         "  SIGTERM or SIGINT.\n"
         "  --bind ADDR   listens on ADDR only (default all local addresses)\n"
         "  --reply FRAME answers FRAME instead\n"
         "  --silent      answers nothing and keeps each connection open\n"
         "  --count N     ends after N connections\n"
         "  Exit status: 0, or 2 when the port cannot be served.\n"
         "\n"
         "fire: rehearses the configured event EVENT_CODE of the master's configuration:\n"
         "  gives every remote job's order to its slave, in order, and prints for each\n"
         "  the slave, the order, the greeting and whether it was accepted. Local jobs\n"
         "  are listed as not carried out. An event holding a remote shutdown asks for\n"
         "  confirmation on the terminal first.\n"
         "  --config PATH the master's configuration (default the installation's\n"
         "                bin/wksrv.cfg, found through bin/voltmon.cfg)\n"
         "  --dry-run     lists the jobs and sends nothing\n"
         "  --yes         asks no confirmation\n"
         "  Exit status: 0 every order accepted, 1 an order refused, undelivered or\n"
         "  unusable (a dry run: unusable), or the rehearsal not confirmed, 2 on any\n"
         "  other error.\n"
         "\n"
         "events: lists the configured events with their names and jobs.\n"
         "  --config PATH as for fire. Exit status: 0, or 2 on any error.\n";
}

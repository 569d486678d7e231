// The slave daemon's settings as the configuration program edits them: the
// values the daemon would take from "bin/qslx.cfg" (read through the
// daemon's own key table), written back over the file's document so that
// every key the daemon does not know stays as it was.
#ifndef VOLTMON_QSCFG_MODEL_H_
#define VOLTMON_QSCFG_MODEL_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/ini.h"
#include "common/resolve.h"
#include "common/text.h"

struct TQsConfig {
  TTextList masters;                           // non-empty addresses, in file order
  std::map<std::string, int32_t> numbers;      // every numeric key, as the daemon narrows it
  std::map<std::string, std::string> scripts;  // the five script keys
};

// The values the daemon reads from `doc` (defaults for missing keys).
TQsConfig ReadQsConfig(const TIniDocument& doc);

// Sets every key of `config` in `doc`: the address count and Adr0 upward
// for the masters (the old address keys removed first; no master is written
// as one empty entry), the numbers in decimal, the scripts as they are.
// Other keys and sections stay.
void WriteQsConfig(const TQsConfig& config, TIniDocument* doc);

// The number of the key, or its default when the config lacks it.
int32_t QsNumber(const TQsConfig& config, const std::string& key);

enum class TAddressSyntax { kDottedIPv4, kHostName, kInvalid };

// A text made only of digits and dots must be four numbers 0-255; anything
// else must be a host name: labels of letters, digits and "-" (not first or
// last), 1 to 63 characters each, 253 at most in all.
TAddressSyntax ClassifyAddress(const std::string& address);

enum class TScriptState { kEmpty, kExecutable, kRelative, kMissing, kNotExecutable };

// What the daemon would meet starting `path` as root: empty, not absolute,
// missing, not a regular file with an execute bit, or fine.
TScriptState ProbeScriptPath(const std::string& path);

// The outside world the checks ask, so that tests can answer for it.
struct TQsProbes {
  // Starts looking a host name up (see common/resolve.h).
  std::function<std::unique_ptr<TNameLookup>(const std::string&)> lookup;
  std::function<TScriptState(const std::string&)> script;  // see ProbeScriptPath
};

// How long the program waits for the name service to answer for a name.
constexpr int kQsLookupMs = 3000;

// Whether each of `hosts` has an IPv4 address, index-aligned: the names are
// looked up side by side, so that a few dozen take about kQsLookupMs at most
// together.
std::vector<bool> ResolveHosts(const TQsProbes& probes, const TTextList& hosts);

// The name service and file system of this computer.
TQsProbes SystemProbes();

#endif  // VOLTMON_QSCFG_MODEL_H_

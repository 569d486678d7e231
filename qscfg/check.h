// The settings check: every problem of a "bin/qslx.cfg" that would make the
// daemon refuse to start or act otherwise than its file seems to say.
#ifndef VOLTMON_QSCFG_CHECK_H_
#define VOLTMON_QSCFG_CHECK_H_

#include <string>
#include <vector>

#include "common/ini.h"
#include "qscfg/model.h"

enum class TFindingKind {
  kNoMaster,        // no address: the daemon refuses to start or every caller
  kBadAddress,      // neither a host name nor a dotted IPv4 address
  kUnresolved,      // a host name without an address now
  kPortZero,        // the listen port is 0 as the daemon reads it
  kNotANumber,      // the daemon takes the default instead
  kCut,             // too wide for its field: the daemon keeps the low bits
  kOutOfRange,      // taken as written, but outside what the editor accepts
  kEmptyScript,     // shutdown or message script empty: the daemon refuses to start
  kScriptRelative,  // taken relative to the daemon's start directory
  kScriptMissing,
  kScriptNotExecutable,
};

struct TFinding {
  TFindingKind kind;
  std::string key;    // the key concerned
  std::string value;  // its value as written
  int32_t Used = 0;   // kNotANumber, kCut: what the daemon takes instead
};

// The findings for `doc` in file key order; empty when sound.
std::vector<TFinding> CheckQsConfig(const TIniDocument& doc, const TQsProbes& probes);

// One line of plain English for the finding, without its key.
std::string FindingText(const TFinding& finding);

#endif  // VOLTMON_QSCFG_CHECK_H_

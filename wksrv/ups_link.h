// The master server's one view of its UPS: a reading per poll, and the few
// commands its own shutdown gives. The program reads the UPS through NUT's
// upsd (nut_link.*); tests put a fake in its place.
#ifndef VOLTMON_WKSRV_UPS_LINK_H_
#define VOLTMON_WKSRV_UPS_LINK_H_

#include <map>
#include <string>

// What one poll learnt. `reachable` is false when upsd could not be asked or
// called the data stale; `vars` then holds nothing.
struct TUpsReading {
  bool reachable = false;
  std::map<std::string, std::string> vars;  // NUT name ("ups.status") -> value
  std::string error;                        // why not reachable, for the log
};

class TUpsLink {
 public:
  virtual ~TUpsLink() = default;
  // Reads the UPS: with `list_all` every variable it has; otherwise at
  // least ups.status fresh, every variable fresh on battery, the others as
  // the last full reading left them. Bounded in time, never throws.
  virtual TUpsReading Poll(bool list_all) = 0;
  // Sets a UPS variable ("ups.delay.shutdown"). False with the reason in
  // `error` when upsd refused or could not be reached. May be called from a
  // job's thread while Poll runs on the main one.
  virtual bool SetVariable(const std::string& name, const std::string& value,
                           std::string* error) = 0;
  // Runs an instant command ("shutdown.return"); as SetVariable.
  virtual bool InstantCommand(const std::string& name, std::string* error) = 0;
};

#endif  // VOLTMON_WKSRV_UPS_LINK_H_

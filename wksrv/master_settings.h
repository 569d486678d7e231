// The master server's own settings: section "Master" of "bin/wksrv.cfg",
// beside the console's "Wattkeep", which the console keeps untouched.
#ifndef VOLTMON_WKSRV_MASTER_SETTINGS_H_
#define VOLTMON_WKSRV_MASTER_SETTINGS_H_

#include <string>

struct TMasterSettings {
  std::string NutUps = "ups@localhost";  // name@host[:port]
  std::string NutUser;                   // the NUT account for SET and instant commands
  std::string NutPassword;               // clear text in memory, scrambled in the file
  std::string ShutdownCommand = "/sbin/shutdown -h now";  // run directly, no shell
};

// Fills `out` from section "Master" of the file at `path`; a missing or
// unreadable file, a missing section or key, and a blank NutUps or
// ShutdownCommand leave the default.
void LoadMasterSettings(const std::string& path, TMasterSettings* out);

// Whether `ups` has the form "name[@host[:port]]": a name, and after an "@"
// a host that is neither empty nor a bare port, without blanks or a second
// "@". NUT's own parser takes some other forms for another UPS than meant,
// and fails on others; only this form is given to it.
bool NutUpsWellFormed(const std::string& ups);

#endif  // VOLTMON_WKSRV_MASTER_SETTINGS_H_

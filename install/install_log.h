// The installation log "bin/install.log": one scrambled entry per line.
#ifndef VOLTMON_INSTALL_INSTALL_LOG_H_
#define VOLTMON_INSTALL_INSTALL_LOG_H_

#include <string>

// Writes Scramble(entry) as one line to the log at `path`: the log is
// started anew when `restart` is set or it does not exist yet, appended to
// otherwise. A failure loses the entry silently; the result says whether it
// was written.
bool WriteInstallLog(const std::string& path, const std::string& entry, bool restart);

#endif  // VOLTMON_INSTALL_INSTALL_LOG_H_

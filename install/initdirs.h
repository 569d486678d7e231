// Where the system keeps its init scripts and run-level directories.
#ifndef VOLTMON_INSTALL_INITDIRS_H_
#define VOLTMON_INSTALL_INITDIRS_H_

#include <functional>
#include <string>

// An existence test for a path (a directory counts as existing).
using TPathTest = std::function<bool(const std::string&)>;

// The first existing of "/etc/init.d", "/etc/rc.d/init.d", "/sbin/init.d"
// and "/sbin/rc.d/init.d", with a trailing "/"; empty when none exists.
std::string FindInitDirectory(const TPathTest& exists);

// The directory that holds "rc2.d", "rc3.d" and "rc5.d", with a trailing
// "/": the base of the first existing probe of "/etc/rc2.d",
// "/etc/init.d/rc2.d", "/etc/rc.d/rc2.d", "/sbin/init.d/rc2.d" and
// "/sbin/rc2.d"; empty when none exists.
std::string FindRunLevelBase(const TPathTest& exists);

#endif  // VOLTMON_INSTALL_INITDIRS_H_

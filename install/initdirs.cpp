// Probes for the init layouts of the different Linux families, in the order
// of preference the installer has always used.
#include "install/initdirs.h"

#include <utility>

std::string FindInitDirectory(const TPathTest& exists) {
  static const char* const kCandidates[] = {"/etc/init.d", "/etc/rc.d/init.d", "/sbin/init.d",
                                            "/sbin/rc.d/init.d"};
  for (const char* candidate : kCandidates) {
    if (exists(candidate)) return std::string(candidate) + "/";
  }
  return "";
}

std::string FindRunLevelBase(const TPathTest& exists) {
  static const std::pair<const char*, const char*> kProbes[] = {
      {"/etc/rc2.d", "/etc/"},           {"/etc/init.d/rc2.d", "/etc/init.d/"},
      {"/etc/rc.d/rc2.d", "/etc/rc.d/"}, {"/sbin/init.d/rc2.d", "/sbin/init.d/"},
      {"/sbin/rc2.d", "/sbin/"},
  };
  for (const auto& probe : kProbes) {
    if (exists(probe.first)) return probe.second;
  }
  return "";
}

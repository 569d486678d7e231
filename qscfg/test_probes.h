// Probes for the tests: names resolve when listed, scripts have the state
// their table gives (otherwise executable when absolute). The fake of the
// TQsProbes seam of model.h, kept beside it on purpose so that the seam and
// its fake change together; header-only, included only by qscfg's tests.
#ifndef VOLTMON_QSCFG_TEST_PROBES_H_
#define VOLTMON_QSCFG_TEST_PROBES_H_

#include <map>
#include <set>
#include <string>

#include "qscfg/model.h"

inline TQsProbes FakeProbes(std::set<std::string> resolving = {"master.lan"},
                            std::map<std::string, TScriptState> scripts = {}) {
  TQsProbes probes;
  probes.lookup = [resolving](const std::string& host) {
    return std::make_unique<TNameLookup>(host, [resolving](const std::string& name) {
      return resolving.count(name) > 0 ? std::string("10.0.0.8") : std::string();
    });
  };
  probes.script = [scripts](const std::string& path) {
    if (path.empty()) return TScriptState::kEmpty;
    const auto found = scripts.find(path);
    if (found != scripts.end()) return found->second;
    return path[0] == '/' ? TScriptState::kExecutable : TScriptState::kRelative;
  };
  return probes;
}

// A document of section "QS System" holding `keys`.
inline TIniDocument QsDoc(const std::string& keys) {
  TIniDocument doc;
  doc.Parse("[QS System]\n" + keys);
  return doc;
}

#endif  // VOLTMON_QSCFG_TEST_PROBES_H_

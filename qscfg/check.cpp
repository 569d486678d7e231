// The check reads the file as the daemon's loader does and says, one
// finding per problem, where the daemon's behaviour departs from what the
// file seems to ask. The name service and the file system are asked only
// through the probes.
#include "qscfg/check.h"

#include "common/orders.h"
#include "qslx/setup.h"

namespace {

void CheckNumber(const TIniDocument& doc, const std::string& name, int32_t fallback, int bits,
                 std::vector<TFinding>* findings) {
  const std::optional<std::string> text = doc.Get(kQsSection, name);
  if (!text) return;
  int32_t value = 0;
  if (!ParseInt32(*text, &value)) {
    findings->push_back({TFindingKind::kNotANumber, name, *text, fallback});
    return;
  }
  const int64_t limit = int64_t{1} << bits;
  if (bits < 32 && (value < 0 || value >= limit)) {
    findings->push_back({TFindingKind::kCut, name, *text,
                         static_cast<int32_t>(static_cast<uint32_t>(value) % limit)});
  }
}

// A value the daemon takes as written although the editor's range refuses
// it (an alive check every -1 s runs at every pass of the main loop).
void CheckRange(const TIniDocument& doc, const TQsNumberKey& key, std::vector<TFinding>* findings) {
  const std::optional<std::string> text = doc.Get(kQsSection, key.name);
  int32_t value = 0;
  if (key.kind == TKeyKind::kBoolean || !text || !ParseInt32(*text, &value)) return;
  value = NarrowQsValue(key, value);
  if (int64_t{value} < int64_t{key.minimum} * key.scale ||
      int64_t{value} > int64_t{key.maximum} * key.scale)
    findings->push_back({TFindingKind::kOutOfRange, key.name, *text, value});
}

void CheckMasters(const TIniDocument& doc, const TQsProbes& probes,
                  std::vector<TFinding>* findings) {
  CheckNumber(doc, kQsAddressCountKey, 0, 16, findings);
  const uint16_t count = static_cast<uint16_t>(doc.GetInteger(kQsSection, kQsAddressCountKey, 0));
  // The names are looked up side by side first: one by one, a silent name
  // server would hold the check for its time limit once per name.
  TTextList names;
  for (int i = 0; i < count; ++i) {
    const std::string address = doc.GetString(kQsSection, QsAddressKey(i), "");
    if (ClassifyAddress(address) == TAddressSyntax::kHostName) names.push_back(address);
  }
  const std::vector<bool> resolved = ResolveHosts(probes, names);
  size_t name = 0;
  bool any = false;
  for (int i = 0; i < count; ++i) {
    const std::string key = QsAddressKey(i);
    const std::string address = doc.GetString(kQsSection, key, "");
    if (address.empty()) continue;
    any = true;
    const TAddressSyntax syntax = ClassifyAddress(address);
    if (syntax == TAddressSyntax::kInvalid) {
      findings->push_back({TFindingKind::kBadAddress, key, address});
    } else if (syntax == TAddressSyntax::kHostName && !resolved[name++]) {
      findings->push_back({TFindingKind::kUnresolved, key, address});
    }
  }
  if (!any) {
    findings->push_back({TFindingKind::kNoMaster, kQsAddressCountKey,
                         doc.GetString(kQsSection, kQsAddressCountKey, "")});
  }
}

void CheckScripts(const TIniDocument& doc, const TQsProbes& probes,
                  std::vector<TFinding>* findings) {
  for (size_t i = 0; i < QsScriptKeys().size(); ++i) {
    const std::string& key = QsScriptKeys()[i];
    const std::string path = doc.GetString(kQsSection, key, "");
    switch (probes.script(path)) {
      case TScriptState::kEmpty:
        if (kOrders[i].script_required)
          findings->push_back({TFindingKind::kEmptyScript, key, path});
        break;
      case TScriptState::kRelative:
        findings->push_back({TFindingKind::kScriptRelative, key, path});
        break;
      case TScriptState::kMissing:
        findings->push_back({TFindingKind::kScriptMissing, key, path});
        break;
      case TScriptState::kNotExecutable:
        findings->push_back({TFindingKind::kScriptNotExecutable, key, path});
        break;
      case TScriptState::kExecutable:
        break;
    }
  }
}

}  // namespace

std::vector<TFinding> CheckQsConfig(const TIniDocument& doc, const TQsProbes& probes) {
  std::vector<TFinding> findings;
  CheckMasters(doc, probes, &findings);
  for (const TQsNumberKey& key : QsNumberKeys()) {
    const size_t before = findings.size();
    const int bits = key.kind == TKeyKind::kBoolean ? 32 : key.width;
    CheckNumber(doc, key.name, QsDefault(key), bits, &findings);
    if (std::string(key.name) == "ListenPort" &&
        NarrowQsValue(key, doc.GetInteger(kQsSection, key.name, QsDefault(key))) == 0) {
      findings.push_back(
          {TFindingKind::kPortZero, key.name, doc.GetString(kQsSection, key.name, "")});
    } else if (findings.size() == before) {
      // One finding a key: a cut value is already reported with what it becomes.
      CheckRange(doc, key, &findings);
    }
  }
  CheckScripts(doc, probes, &findings);
  return findings;
}

std::string FindingText(const TFinding& f) {
  const std::string quoted = "\"" + f.value + "\"";
  switch (f.kind) {
    case TFindingKind::kNoMaster:
      return "no master server is configured; the daemon will not start or will refuse every "
             "order";
    case TFindingKind::kBadAddress:
      return quoted + " is neither a host name nor a dotted IPv4 address";
    case TFindingKind::kUnresolved:
      return "the host name " + quoted + " does not resolve now; orders from it are refused";
    case TFindingKind::kPortZero:
      return "the listen port is 0 (missing, 0 or 65536); the daemon will not start";
    case TFindingKind::kNotANumber:
      return quoted + " is not a number; the daemon uses " + std::to_string(f.Used);
    case TFindingKind::kCut:
      return quoted + " does not fit; the daemon uses " + std::to_string(f.Used);
    case TFindingKind::kOutOfRange: {
      const TQsNumberKey* key = FindQsNumberKey(f.key);
      if (key == nullptr) return quoted + " is out of range";
      return quoted + " is out of range [" + std::to_string(int64_t{key->minimum} * key->scale) +
             " - " + std::to_string(int64_t{key->maximum} * key->scale) + "]";
    }
    case TFindingKind::kEmptyScript:
      return "the script is empty; the daemon will not start";
    case TFindingKind::kScriptRelative:
      return quoted +
             " is not an absolute path; the daemon takes it relative to where it was "
             "started";
    case TFindingKind::kScriptMissing:
      return quoted + " does not exist";
    case TFindingKind::kScriptNotExecutable:
      return quoted + " cannot be executed";
  }
  return quoted;
}

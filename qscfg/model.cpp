// Reading and writing the slave daemon's settings for the editor. Values
// are taken exactly as the daemon takes them (its key table, its defaults,
// its narrowing to the field's width), so that what the screens show is
// what the daemon will do; writing touches only the daemon's keys.
#include "qscfg/model.h"

#include <sys/stat.h>

#include <cerrno>

#include "common/clock.h"
#include "qslx/setup.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsLabelChar(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
}

bool IsDottedIPv4(const std::string& text) {
  TTextList parts;
  SplitToList('.', text, &parts, true);
  if (parts.size() != 4) return false;
  for (const std::string& part : parts) {
    if (part.empty() || part.size() > 3) return false;
    for (char c : part) {
      if (!IsDigit(c)) return false;
    }
    if (std::stoi(part) > 255) return false;
  }
  return true;
}

bool IsHostName(const std::string& text) {
  if (text.empty() || text.size() > 253 || text.front() == '.' || text.back() == '.') return false;
  TTextList labels;
  SplitToList('.', text, &labels, true);
  for (const std::string& label : labels) {
    if (label.empty() || label.size() > 63) return false;
    if (label.front() == '-' || label.back() == '-') return false;
    for (char c : label) {
      if (!IsLabelChar(c)) return false;
    }
  }
  return true;
}

}  // namespace

TQsConfig ReadQsConfig(const TIniDocument& doc) {
  TQsConfig config;
  const uint16_t count = static_cast<uint16_t>(doc.GetInteger(kQsSection, kQsAddressCountKey, 0));
  for (int i = 0; i < count; ++i) {
    const std::string address = doc.GetString(kQsSection, QsAddressKey(i), "");
    if (!address.empty()) config.masters.push_back(address);
  }
  TQsSetupData values;
  for (const TQsNumberKey& key : QsNumberKeys()) {
    ReadQsKey(doc, key, &values);
    config.numbers[key.name] = FieldNumber(key.field(&values));
  }
  for (const std::string& key : QsScriptKeys())
    config.scripts[key] = doc.GetString(kQsSection, key, "");
  return config;
}

void WriteQsConfig(const TQsConfig& config, TIniDocument* doc) {
  const uint16_t old_count =
      static_cast<uint16_t>(doc->GetInteger(kQsSection, kQsAddressCountKey, 0));
  for (int i = 0; i < old_count; ++i) doc->Remove(kQsSection, QsAddressKey(i));
  // Without masters the file stays as shipped: one empty entry, so that the
  // daemon still starts and refuses every caller instead of not starting.
  const TTextList masters = config.masters.empty() ? TTextList{""} : config.masters;
  doc->Set(kQsSection, kQsAddressCountKey, std::to_string(masters.size()));
  for (size_t i = 0; i < masters.size(); ++i)
    doc->Set(kQsSection, QsAddressKey(static_cast<int>(i)), masters[i]);
  for (const TQsKey* key : RowsInOrder(QsKeys(), &TQsKey::save_rank)) {
    if (key->kind != TKeyKind::kString) {
      doc->Set(kQsSection, key->name, std::to_string(QsNumber(config, key->name)));
    } else {
      const auto found = config.scripts.find(key->name);
      doc->Set(kQsSection, key->name, found == config.scripts.end() ? "" : found->second);
    }
  }
}

int32_t QsNumber(const TQsConfig& config, const std::string& name) {
  const auto found = config.numbers.find(name);
  if (found != config.numbers.end()) return found->second;
  const TQsNumberKey* key = FindQsNumberKey(name);
  return key == nullptr ? 0 : QsDefault(*key);
}

TAddressSyntax ClassifyAddress(const std::string& address) {
  bool digits_and_dots = !address.empty();
  for (char c : address) {
    if (!IsDigit(c) && c != '.') digits_and_dots = false;
  }
  if (digits_and_dots)
    return IsDottedIPv4(address) ? TAddressSyntax::kDottedIPv4 : TAddressSyntax::kInvalid;
  return IsHostName(address) ? TAddressSyntax::kHostName : TAddressSyntax::kInvalid;
}

TScriptState ProbeScriptPath(const std::string& path) {
  if (path.empty()) return TScriptState::kEmpty;
  if (path[0] != '/') return TScriptState::kRelative;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    // Any other error (a component that is no directory, a loop) also
    // leaves the daemon nothing it can start.
    return errno == EACCES ? TScriptState::kNotExecutable : TScriptState::kMissing;
  }
  if (!S_ISREG(st.st_mode) || (st.st_mode & 0111) == 0) return TScriptState::kNotExecutable;
  return TScriptState::kExecutable;
}

TQsProbes SystemProbes() {
  TQsProbes probes;
  probes.lookup = [](const std::string& host) { return std::make_unique<TNameLookup>(host); };
  probes.script = ProbeScriptPath;
  return probes;
}

std::vector<bool> ResolveHosts(const TQsProbes& probes, const TTextList& hosts) {
  // A thread per lookup: a file of thousands of names is taken in batches.
  constexpr size_t kBatch = 64;
  std::vector<bool> resolved;
  for (size_t first = 0; first < hosts.size(); first += kBatch) {
    std::vector<std::unique_ptr<TNameLookup>> lookups;
    for (size_t i = first; i < hosts.size() && i < first + kBatch; ++i)
      lookups.push_back(probes.lookup(hosts[i]));
    const int64_t deadline = NowMs() + kQsLookupMs;
    for (const auto& lookup : lookups)
      resolved.push_back(lookup->Wait(deadline) == TResolveResult::kResolved);
  }
  return resolved;
}

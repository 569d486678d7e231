// The screens' decisions as plain functions of the typed text, the list and
// the probes, so that they are tested without a terminal.
#include "qscfg/rows.h"

#include <cstddef>
#include <utility>

#include "common/orders.h"

TEntryOutcome MasterEntry(const std::string& address, const TQsProbes& probes) {
  if (address.empty()) return {TEntryVerdict::kRefuse, "100008"};
  switch (ClassifyAddress(address)) {
    case TAddressSyntax::kInvalid:
      return {TEntryVerdict::kRefuse, "BadAddress"};
    case TAddressSyntax::kHostName:
      if (!ResolveHosts(probes, {address})[0]) return {TEntryVerdict::kStoreWarning, "NoResolve"};
      break;
    case TAddressSyntax::kDottedIPv4:
      break;
  }
  return {TEntryVerdict::kStore, ""};
}

TEntryOutcome ScriptEntry(size_t index, const std::string& path, const TQsProbes& probes) {
  const TScriptState state = probes.script(path);
  if (state == TScriptState::kEmpty) {
    if (kOrders[index].script_required) return {TEntryVerdict::kRefuse, "100008"};
    return {TEntryVerdict::kStore, ""};
  }
  const std::string key = ScriptWarningKey(state);
  if (key.empty()) return {TEntryVerdict::kStore, ""};
  return {TEntryVerdict::kStoreWarning, key};
}

std::string ScriptWarningKey(TScriptState state) {
  switch (state) {
    case TScriptState::kRelative:
      return "ScriptRelative";
    case TScriptState::kMissing:
      return "ScriptMissing";
    case TScriptState::kNotExecutable:
      return "ScriptNotExecutable";
    case TScriptState::kEmpty:
    case TScriptState::kExecutable:
      break;
  }
  return "";
}

TTextList MasterChoices(const TTextList& masters) {
  TTextList choices;
  for (size_t i = 0; i < masters.size(); ++i)
    choices.push_back(std::to_string(i + 1) + ". " + masters[i]);
  return choices;
}

int MasterChoiceIndex(const std::string& choice, size_t count) {
  const size_t dot = choice.find(". ");
  int32_t number = 0;
  if (dot == std::string::npos || !ParseInt32(choice.substr(0, dot), &number)) return -1;
  if (number < 1 || static_cast<size_t>(number) > count) return -1;
  return number - 1;
}

size_t AddMaster(TTextList* masters, const std::string& address) {
  masters->push_back(address);
  return masters->size() - 1;
}

size_t DeleteMaster(TTextList* masters, size_t index) {
  if (index >= masters->size()) return 0;
  masters->erase(masters->begin() + static_cast<std::ptrdiff_t>(index));
  if (masters->empty()) return 0;
  return index < masters->size() ? index : masters->size() - 1;
}

size_t MoveMaster(TTextList* masters, size_t index, int step) {
  if (index >= masters->size()) return 0;
  if ((step < 0 && index == 0) || (step > 0 && index + 1 >= masters->size())) return index;
  const size_t other = step < 0 ? index - 1 : index + 1;
  std::swap((*masters)[index], (*masters)[other]);
  return other;
}

size_t ListWindowStart(size_t count, size_t selected, size_t rows) {
  if (rows == 0 || count <= rows) return 0;
  const size_t half = rows / 2;
  const size_t start = selected > half ? selected - half : 0;
  return start + rows > count ? count - rows : start;
}

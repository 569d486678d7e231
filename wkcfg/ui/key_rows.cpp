// The rows that bind a wksrv.cfg key. They reach the field through the key's
// accessor, so that a screen names a key and never a member of the record.
#include "wkcfg/ui/key_rows.h"

#include <cmath>
#include <cstdlib>
#include <type_traits>
#include <variant>

#include "wkcfg/model/console_state.h"
#include "wkcfg/model/setup_keys.h"

namespace {

const TSetupKey& KeyOf(const std::string& name) {
  const TSetupKey* key = FindSetupKey(name);
  // A row naming no key is a mistake in a screen's table.
  if (key == nullptr) std::abort();
  return *key;
}

}  // namespace

TFormRow NumberRow(const std::string& label, const std::string& key_name) {
  const TSetupKey& key = KeyOf(key_name);
  const int64_t scale = key.scale;
  return NumberRow(
      label, [key_name, scale] { return KeyFieldValue(key_name) / scale; },
      [key_name, scale](int64_t value) { StoreKeyField(key_name, value * scale); }, key.minimum,
      key.maximum);
}

int64_t KeyFieldValue(const std::string& key_name) {
  const TFieldRef field = KeyOf(key_name).field(&ConsoleState().setup);
  return std::visit(
      [](auto* p) -> int64_t {
        using TField = std::remove_pointer_t<decltype(p)>;
        if constexpr (std::is_same_v<TField, std::string>) {
          return 0;
        } else if constexpr (std::is_same_v<TField, float>) {
          return std::lround(*p);
        } else {
          return static_cast<int64_t>(*p);
        }
      },
      field);
}

void StoreKeyField(const std::string& key_name, int64_t value) {
  const TFieldRef field = KeyOf(key_name).field(&ConsoleState().setup);
  std::visit(
      [value](auto* p) {
        using TField = std::remove_pointer_t<decltype(p)>;
        if constexpr (std::is_same_v<TField, bool>) {
          *p = value != 0;
        } else if constexpr (!std::is_same_v<TField, std::string>) {
          *p = static_cast<TField>(value);
        }
      },
      field);
}

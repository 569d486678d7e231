// The colour-pair table: pairs are allocated once per combination, so that
// redrawing a screen never runs curses out of pairs.
#include "tui/colors.h"

#include <cstddef>

int TColorPairTable::PairFor(int foreground, int background, bool* is_new) {
  if (is_new) *is_new = false;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].foreground == foreground && entries_[i].background == background) {
      return static_cast<int>(i) + 1;
    }
  }
  if (entries_.size() >= static_cast<std::size_t>(kMaxPairs)) return kMaxPairs;
  entries_.push_back({foreground, background});
  if (is_new) *is_new = true;
  return static_cast<int>(entries_.size());
}

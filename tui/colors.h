// Colour pairs: the 16-bit foreground/background values of the widget
// interfaces and the table that hands out curses colour pair numbers.
#ifndef VOLTMON_TUI_COLORS_H_
#define VOLTMON_TUI_COLORS_H_

#include <cstdint>
#include <vector>

// Low byte foreground (0-7, + 8 bright), high byte background (0-7).
using TColors = uint16_t;

constexpr TColors MakeColors(int foreground, int background) {
  return static_cast<TColors>((foreground & 0xff) | ((background & 0xff) << 8));
}
constexpr int ForegroundOf(TColors colors) {
  return colors & 0xff;
}
constexpr int BackgroundOf(TColors colors) {
  return colors >> 8;
}

// Pair numbers for (foreground, background) combinations, numbered 1, 2, ...
// in order of first use. Curses offers few pairs, so past kMaxPairs a new
// combination shares the last pair instead of failing.
class TColorPairTable {
 public:
  static constexpr int kMaxPairs = 64;

  // The pair of the combination; `is_new` (when given) tells whether it was
  // just allocated and must be initialised.
  int PairFor(int foreground, int background, bool* is_new = nullptr);
  void Clear() { entries_.clear(); }
  int size() const { return static_cast<int>(entries_.size()); }

 private:
  struct TEntry {
    int foreground;
    int background;
  };
  std::vector<TEntry> entries_;
};

#endif  // VOLTMON_TUI_COLORS_H_

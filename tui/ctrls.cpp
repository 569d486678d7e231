// The widgets: each draws through the screen layer and decides on the keys
// itself, so that a fake terminal can drive every rule in the unit tests.
#include "tui/ctrls.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

void SetColors(TColors colors) {
  SetTextColors(ForegroundOf(colors), BackgroundOf(colors));
}

// Columns on the screen, not bytes: a UTF-8 text is measured by its
// characters.
int Length(const std::string& text) {
  return TextWidth(text);
}

bool EndsLoop(int key) {
  return key == kKeyResize || key == kKeyQuit;
}

std::string Shown(const std::string& text, bool password) {
  return password ? MaskText(text) : text;
}

// The columns of a field's text as shown.
int ShownWidth(const std::string& text, bool password) {
  return password ? static_cast<int>(CharCount(text)) : TextWidth(text);
}

// Label and value as an unfocused field shows them.
void DrawField(int x, int y, int fx, int max_len, const std::string& label,
               const std::string& value, TColors label_colors, TColors field_colors,
               bool password) {
  WriteAt(x, y, label, false, false, label_colors);
  std::string shown = Shown(value, password);
  // A stored value longer than the field (a hand-edited file) is cut on the
  // screen only, so that it cannot run over the rows below.
  // (Cut without measuring it whole first: it may be megabytes long.)
  if (max_len > 0) shown = CutToWidth(shown, max_len);
  if (shown.empty()) shown = " ";
  WriteAt(fx, y, PadText(shown, max_len, kPadLeftJustify), false, false, field_colors);
}

// The message boxes: their width, and the rows of the message between the
// top row and the key hint on row 6.
constexpr int kBoxWidth = 60;
constexpr int kBoxMessageLines = 4;

// Set when a resize closed a choice field's list: the screen redraws itself
// and the field, focused again, opens its list at once.
bool g_list_reopen = false;

// The drawing of the screen under the boxes (see TBackdrop).
std::function<void()> g_backdrop;

void RedrawBackdrop() {
  if (g_backdrop) g_backdrop();
}

// What a key typed into a field adds: a whole character (numeric-only
// fields: "-" and the digits), a part of one still to be completed, or
// nothing.
TKeyChars::TResult Typed(int key, bool numeric_only, TKeyChars* chars) {
  if (numeric_only && key != '-' && !(key >= '0' && key <= '9')) {
    chars->Reset();
    return TKeyChars::kRefused;
  }
  return chars->Add(key);
}

// What a focused field had typed when a resize ended it: the same field,
// focused again on the redrawn screen, edits on from there.
struct TResumedEdit {
  bool pending = false;
  std::string label;
  int y = 0;
  std::string old_value;
  std::string buffer;
};
TResumedEdit g_resumed_edit;

// Next selectable menu entry from `from` in `step` direction, wrapping;
// `from` itself when no other one is selectable.
int NextEntry(const TTextList& entries, int from, int step) {
  int count = static_cast<int>(entries.size());
  int i = from;
  for (int n = 0; n < count; ++n) {
    i = (i + step + count) % count;
    if (!entries[i].empty()) return i;
  }
  return from;
}

}  // namespace

void WriteAt(int x, int y, const std::string& text, bool pad_left, bool pad_right, TColors colors) {
  MoveCursor(x, y);
  SetColors(colors);
  WriteText((pad_left ? " " : "") + text + (pad_right ? " " : ""));
}

void WriteCentered(const std::string& text, int width, int y, TColors colors) {
  WriteAt((width - Length(text)) / 2, y, text, false, false, colors);
}

std::string PadText(const std::string& text, int width, int mode) {
  if (text.empty() || Length(text) >= width) return text;
  int d = width - Length(text);
  switch (mode) {
    case kPadLeftJustify:
      return text + std::string(d, ' ');
    case kPadCentre:
      return std::string(d - d / 2, ' ') + text + std::string(d / 2, ' ');
    case kPadRightJustify:
      return std::string(d, ' ') + text;
    default:
      return text;
  }
}

void PadList(TTextList* list, int width, int mode) {
  for (std::string& entry : *list) entry = PadText(entry, width, mode);
}

int MaxItemWidth(const TTextList& list) {
  int width = 0;
  for (const std::string& entry : list) width = std::max(width, Length(entry));
  return width;
}

std::string MaskText(const std::string& text) {
  return std::string(CharCount(text), '*');
}

void ClearField(int x, int y, int width) {
  MoveCursor(x, y);
  for (int i = 0; i < width; ++i) WriteText(" ");
  MoveCursor(x, y);
}

int ButtonField(int x, int y, const std::string& text, TColors normal_colors, TColors focus_colors,
                bool focused) {
  if (!focused) {
    WriteAt(x, y, text, false, false, normal_colors);
    return -1;
  }
  WriteAt(x, y, text, false, false, focus_colors);
  MoveCursor(x, y);
  return ReadKeyCode();
}

int EditField(int x, int y, int max_len, const std::string& label, std::string* value,
              TColors label_colors, TColors field_colors, bool numeric_only, bool focused,
              bool password) {
  const std::string old_value = *value;
  const int fx = x + Length(label) + 1;
  DrawField(x, y, fx, max_len, label, *value, label_colors, field_colors, password);
  if (!focused) {
    *value = TrimBlanks(*value);
    return -1;
  }
  std::string buffer;
  bool touched = false;
  const bool resumed = g_resumed_edit.pending && g_resumed_edit.label == label &&
                       g_resumed_edit.y == y && g_resumed_edit.old_value == old_value;
  g_resumed_edit.pending = false;
  if (resumed) {
    buffer = std::move(g_resumed_edit.buffer);
    // The field may have become narrower with the terminal.
    while (ShownWidth(buffer, password) > max_len) buffer.erase(LastCharStart(buffer));
    touched = true;
    ClearField(fx, y, max_len);
    WriteAt(fx, y, Shown(buffer, password), false, false, field_colors);
  }
  TKeyChars chars;
  MoveCursor(fx + ShownWidth(buffer, password), y);
  for (;;) {
    int key = ReadKeyCode();
    if (EndsLoop(key)) {
      *value = old_value;
      if (key == kKeyResize && touched) g_resumed_edit = {true, label, y, old_value, buffer};
      return key;
    }
    if (key == kKeyEnter) {
      if (!touched) continue;
      buffer = TrimBlanks(buffer);
      if (buffer.empty() && numeric_only) continue;
      *value = buffer;
      return key;
    }
    if (key == kKeyEsc) {
      if (!touched) {
        *value = old_value;
        return key;
      }
      ClearField(fx, y, max_len);
      DrawField(x, y, fx, max_len, label, old_value, label_colors, field_colors, password);
      MoveCursor(fx, y);
      buffer.clear();
      touched = false;
    } else if (key == kKeyTab || key == kKeyDown || key == kKeyUp) {
      if (!touched) {
        *value = old_value;
        return key;
      }
      ScreenBeep();
    } else if (key == kKeyBackspace) {
      chars.Reset();
      ClearField(fx, y, max_len);
      if (!buffer.empty()) {
        buffer.erase(LastCharStart(buffer));
        WriteAt(fx, y, Shown(buffer, password), false, false, field_colors);
        MoveCursor(fx + ShownWidth(buffer, password), y);
      }
    } else if (const TKeyChars::TResult typed = Typed(key, numeric_only, &chars);
               typed != TKeyChars::kRefused) {
      if (typed == TKeyChars::kPending) continue;
      const std::string& c = chars.character();
      SetColors(field_colors);
      if (!touched) {
        ClearField(fx, y, max_len);
        touched = true;
      }
      if (ShownWidth(buffer + c, password) <= max_len) {
        MoveCursor(fx + ShownWidth(buffer, password), y);
        buffer += c;
        WriteText(password ? "*" : c);
      } else {
        ScreenBeep();
      }
    } else {
      ScreenBeep();
    }
  }
}

int ChoiceField(int x, int y, int right_edge, int list_height_limit, TColors label_colors,
                TColors field_colors, TColors list_normal_colors, TColors list_highlight_colors,
                const std::string& label, const TTextList& choices, int pad_mode,
                std::string* value, bool focused) {
  const int width = right_edge - x - Length(label) - 23;
  EditField(x, y, width, label, value, label_colors, field_colors, false, false, false);
  WriteAt(x + Length(label) + width + 2, y, " <-- ENTER for List", false, false, label_colors);
  if (!focused) return -1;
  MoveCursor(x + Length(label) + 1, y);
  bool reopen = g_list_reopen;
  g_list_reopen = false;
  for (;;) {
    int key = reopen ? kKeyEnter : ReadKeyCode();
    reopen = false;
    if (key == kKeyEsc || key == kKeyDown || key == kKeyUp || EndsLoop(key)) return key;
    if (key != kKeyEnter) {
      ScreenBeep();
      continue;
    }
    for (;;) {
      int closed = PopupList(-1, -1, MaxItemWidth(choices) + 1, list_height_limit,
                             static_cast<int>(choices.size()), list_normal_colors,
                             list_highlight_colors, choices, pad_mode, value);
      if (closed == kKeyEnter) return kKeyEnter;
      if (closed == kKeyEsc) return -1;
      g_list_reopen = closed == kKeyResize;
      if (EndsLoop(closed)) return closed;
      ScreenBeep();
    }
  }
}

int PopupList(int x, int y, int width, int list_height_limit, int item_count, TColors normal_colors,
              TColors highlight_colors, const TTextList& items, int pad_mode, std::string* chosen) {
  // A window needs at least one entry row between its two mark rows.
  int h = std::max(item_count + 1, 3);
  h = std::max(std::min(h, list_height_limit - 4), 3);
  TTextList work;
  for (const std::string& item : items) work.push_back(PadText(" " + item, width, pad_mode));
  if (x == -1 || y == -1) {
    OpenCenteredWindow(width, h, BackgroundOf(normal_colors));
  } else {
    OpenWindowAt(x, y, width, h, BackgroundOf(normal_colors));
  }
  // Selection and scrolling follow the entries really held, so that an item
  // count larger than the list (a caller sizing the window) never selects
  // past its end.
  const int count = static_cast<int>(work.size());
  const int rows = h - 1;
  int selected = 0;
  int first = 0;
  int key;
  for (;;) {
    for (int i = 0; i < rows && first + i < count; ++i) {
      int index = first + i;
      // An entry longer than the list is cut on the screen, not in the
      // choice, so that it never runs over into the next row.
      WriteAt(1, 2 + i, CutToWidth(work[index], width), false, false,
              index == selected ? highlight_colors : normal_colors);
    }
    const int mark_column = width / 2 + 1;
    WriteAt(mark_column, 1, first > 0 ? "^" : " ", false, false, normal_colors);
    WriteAt(mark_column, h + 1, count >= first + h ? "v" : " ", false, false, normal_colors);
    key = ReadKeyCode();
    if (key == kKeyDown) {
      if (selected < count - 1) ++selected;
      if (selected >= first + rows) first = selected - rows + 1;
    } else if (key == kKeyUp) {
      if (selected > 0) --selected;
      if (selected < first) first = selected;
    } else {
      break;
    }
  }
  *chosen = count > 0 ? TrimBlanks(work[selected]) : std::string();
  return key;
}

int MenuBox(const std::string& title, int title_row, int width, int background,
            TColors highlight_colors, TColors normal_colors, const TTextList& entries, int height) {
  OpenCenteredWindow(width, height, background);
  WriteCentered(title, width, title_row, normal_colors);
  TTextList shown = entries;
  PadList(&shown, width - 4, kPadCentre);
  const int count = static_cast<int>(shown.size());
  if (count == 0) return 0;
  int selected = shown[0].empty() ? NextEntry(shown, 0, 1) : 0;
  for (;;) {
    for (int i = 0; i < count; ++i) {
      WriteAt((width - Length(shown[i])) / 2 + 1, (height - count) / 2 + i, shown[i], false, false,
              i == selected ? highlight_colors : normal_colors);
    }
    MoveCursor(width, height);
    int key = ReadKeyCode();
    if (key == kKeyEnter && !shown[selected].empty()) return selected + 1;
    if (EndsLoop(key)) return key;
    if (key == kKeyDown) {
      selected = NextEntry(shown, selected, 1);
    } else if (key == kKeyUp) {
      selected = NextEntry(shown, selected, -1);
    } else {
      ScreenBeep();
    }
  }
}

TBackdrop::TBackdrop(std::function<void()> draw) : previous_(std::move(g_backdrop)) {
  g_backdrop = std::move(draw);
}

TBackdrop::~TBackdrop() {
  g_backdrop = std::move(previous_);
}

void PressAnyKeyBox(const std::string& message, TColors colors) {
  // Centred in kBoxWidth from column 1, a line of one column less keeps a
  // blank on either side.
  const TTextList lines = WrapText(message, kBoxWidth - 1, kBoxMessageLines);
  int key;
  do {
    SetTextColor(ForegroundOf(colors));
    OpenCenteredWindow(kBoxWidth, 6, BackgroundOf(colors));
    ScreenBeep();
    for (size_t i = 0; i < lines.size(); ++i) {
      MoveCursor(1, 2 + static_cast<int>(i));
      WriteText(PadText(lines[i], kBoxWidth, kPadCentre));
    }
    MoveCursor(17, 6);
    WriteText("Press any key to continue");
    MoveCursor(30, 6);
    key = ReadKeyCode();
    if (key == kKeyResize) RedrawBackdrop();
  } while (key == kKeyResize);
}

int EscapeHintLine(int width, int row, TColors colors, bool wait_for_esc) {
  WriteAt(1, row, PadText("<< Press [ESC] to return to Main Menu >>", width, kPadCentre), false,
          false, colors);
  if (!wait_for_esc) return -1;
  for (;;) {
    int key = ReadKeyCode();
    if (key == kKeyEsc || EndsLoop(key)) return key;
    ScreenBeep();
  }
}

void InputBox(int width, const std::string& label, const std::string& initial, bool numeric_only,
              bool password, std::string* result) {
  const TColors box_colors = MakeColors(15, 3);
  const TColors field_colors = MakeColors(15, 0);
  const int box_width = width - 5;
  std::string work = initial;
  int key;
  bool redraw = true;
  for (;;) {
    if (redraw) {
      OpenCenteredWindow(box_width, 6, 3);
      WriteAt((box_width - 33) / 2, 6, "[ENTER] Confirm      [ESC] Cancel", false, false,
              box_colors);
      redraw = false;
    }
    key = EditField(2, 2, box_width - Length(label) - 2, label, &work, box_colors, field_colors,
                    numeric_only, true, password);
    if (key == kKeyEnter || key == kKeyEsc || key == kKeyQuit) break;
    if (key == kKeyResize) {
      RedrawBackdrop();
      redraw = true;
    } else {
      ScreenBeep();
    }
  }
  *result = TrimBlanks(work);
}

bool ConfirmYesNoBox(int width, const std::string& message, bool centred) {
  const TColors colors = MakeColors(15, 3);
  const int box_width = width - 5;
  for (;;) {
    OpenCenteredWindow(box_width, 6, 3);
    // The window is box_width + 1 columns; one stays blank on either side.
    const TTextList lines = WrapText(message, box_width - 1, kBoxMessageLines);
    for (size_t i = 0; i < lines.size(); ++i) {
      const int column = centred ? std::max((box_width - Length(lines[i])) / 2, 2) : 2;
      WriteAt(column, 2 + static_cast<int>(i), lines[i], false, false, colors);
    }
    WriteAt((box_width - 27) / 2, 6, "[Y] Confirm      [N] Cancel", false, false, colors);
    ScreenBeep();
    for (;;) {
      int key = ReadKeyCode();
      if (key == 'Y' || key == 'y') return true;
      if (key == 'N' || key == 'n' || key == kKeyQuit) return false;
      if (key == kKeyResize) {
        RedrawBackdrop();
        break;
      }
      ScreenBeep();
    }
  }
}

namespace {

// The most the password prompt takes: far beyond any password typed in a
// console, and still a bound.
constexpr int kMaxPromptEntry = 1024;
const char kPromptLabel[] = "Password:";

// The prompt's field at column `fx` of line 2, `width` cells wide: as a
// focused password EditField, except that it takes up to kMaxPromptEntry
// characters, the stars filling the field and the entry going on past its
// end, so that a password stored longer than the field (set on a wider
// terminal, or by hand) can still be typed. The entry is kept in `*typed`
// across a resize. Returns ENTER once something was typed, ESC when nothing
// is, and the keys that end every loop; ESC after typing clears the entry.
int PromptField(int fx, int width, TColors colors, std::string* typed) {
  TKeyChars chars;
  for (;;) {
    const int shown = std::min(static_cast<int>(CharCount(*typed)), width);
    SetColors(colors);
    ClearField(fx, 2, width);
    if (shown > 0) WriteText(std::string(static_cast<size_t>(shown), '*'));
    MoveCursor(fx + std::min(shown, width - 1), 2);
    const int key = ReadKeyCode();
    if (EndsLoop(key)) return key;
    if (key == kKeyEnter && !typed->empty()) return key;
    if (key == kKeyEsc && typed->empty()) return key;
    if (key == kKeyEsc) {
      chars.Reset();
      typed->clear();
    } else if (key == kKeyBackspace) {
      chars.Reset();
      if (!typed->empty()) typed->erase(LastCharStart(*typed));
    } else if (key == kKeyEnter) {
      // Nothing typed yet: ENTER waits, as in every field.
    } else if (const TKeyChars::TResult added = Typed(key, false, &chars);
               added == TKeyChars::kPending) {
      // The rest of a character is still to come.
    } else if (added != TKeyChars::kRefused &&
               CharCount(*typed) < static_cast<size_t>(kMaxPromptEntry)) {
      *typed += chars.character();
    } else {
      ScreenBeep();
    }
  }
}

}  // namespace

bool PasswordPrompt(int width, const std::string& expected) {
  const TColors box_colors = MakeColors(15, 3);
  const int box_width = width - 5;
  std::string typed;
  bool redraw = true;
  for (;;) {
    if (redraw) {
      OpenCenteredWindow(box_width, 6, 3);
      WriteAt((box_width - 33) / 2, 6, "[ENTER] Confirm      [ESC] Cancel", false, false,
              box_colors);
      WriteAt(2, 2, kPromptLabel, false, false, box_colors);
      redraw = false;
    }
    const int key = PromptField(2 + Length(kPromptLabel) + 1, PasswordPromptWidth(width),
                                MakeColors(15, 0), &typed);
    if (key == kKeyQuit || key == kKeyEsc) return false;
    if (key == kKeyResize) {
      RedrawBackdrop();
      redraw = true;
      continue;
    }
    const std::string entry = TrimBlanks(typed);
    if (entry.empty()) return false;
    if (entry == expected) return true;
    ScreenBeep();
    PressAnyKeyBox("Wrong password !", MakeColors(15, 1));
    typed.clear();
    redraw = true;
  }
}

int PasswordPromptWidth(int width) {
  // As InputBox: the box is `width` - 5 wide, and its margins and the
  // label leave the rest to the field.
  return width - 5 - Length(kPromptLabel) - 2;
}

bool CheckNumber(const std::string& text, int32_t min, int32_t max, bool show_error,
                 int32_t* value) {
  *value = TextToIntInRange(text, min, max);
  if (*value != -1) return true;
  if (show_error) {
    char message[96];
    std::snprintf(message, sizeof message, "Error !  Number is invalid or out of range [%d - %d]",
                  static_cast<int>(min), static_cast<int>(max));
    PressAnyKeyBox(message, MakeColors(15, 1));
  }
  return false;
}

// The widgets every configuration screen is built from. Procedural: a screen
// draws its widgets unfocused, then calls the focused one again with focus;
// that call reads keys until one ends the interaction and returns it.
// Every key loop also ends on kKeyResize (the screen must redraw) and on
// kKeyQuit (the program must end), returning that code.
#ifndef VOLTMON_TUI_CTRLS_H_
#define VOLTMON_TUI_CTRLS_H_

#include <cstdint>
#include <functional>
#include <string>

#include "common/text.h"
#include "tui/colors.h"
#include "tui/crt.h"
#include "tui/screen_text.h"

// PadText modes.
constexpr int kPadLeftJustify = 1;
constexpr int kPadCentre = 2;
constexpr int kPadRightJustify = 3;

// Cursor to (x, y), colours set, a blank before (pad_left) and after
// (pad_right) the text, written.
void WriteAt(int x, int y, const std::string& text, bool pad_left, bool pad_right, TColors colors);
// WriteAt column (width - length) div 2 of row y, no added blanks.
void WriteCentered(const std::string& text, int width, int y, TColors colors);

// Widths are screen columns (see screen_text.h), not bytes.

// Blanks up to `width`: appended (mode 1), split with the larger share in
// front (mode 2) or prefixed (mode 3). Empty or long enough texts unchanged.
std::string PadText(const std::string& text, int width, int mode);
void PadList(TTextList* list, int width, int mode);
// Length of the longest entry, 0 for an empty list.
int MaxItemWidth(const TTextList& list);
// One "*" per character (a UTF-8 character is one).
std::string MaskText(const std::string& text);

// `width` blanks from (x, y), cursor back to (x, y).
void ClearField(int x, int y, int width);

// The text at (x, y) in normal_colors (-1), or focused in focus_colors with
// the cursor on it, returning one key.
int ButtonField(int x, int y, const std::string& text, TColors normal_colors, TColors focus_colors,
                bool focused);

// A labelled one-line field of at most max_len columns at the column after
// the label; a value longer than that is cut on the screen only. Unfocused: drawn, the value
// trimmed, -1. Focused: edited until ENTER stores the trimmed buffer (10), or an untouched field is
// left with ESC, TAB or an arrow (the value unchanged). ESC after typing restores the old value and
// edits on. numeric_only accepts "-" and digits; password shows
// "*" per character. Backspace takes the last whole character. A resize ends
// the call with the value unchanged; the next focused call of the same field
// (label, row and value) goes on with what was typed.
int EditField(int x, int y, int max_len, const std::string& label, std::string* value,
              TColors label_colors, TColors field_colors, bool numeric_only, bool focused,
              bool password);

// A read-only value chosen from `choices` with a pop-up list opened by ENTER.
// Focused: 10 after a choice (stored in value), -1 when the list was closed
// with ESC, 27 on ESC, 258/259 on the arrows. A resize while the list is
// open returns kKeyResize, and the next focused call opens the list again.
int ChoiceField(int x, int y, int right_edge, int list_height_limit, TColors label_colors,
                TColors field_colors, TColors list_normal_colors, TColors list_highlight_colors,
                const std::string& label, const TTextList& choices, int pad_mode,
                std::string* value, bool focused);

// A scrolling selection list in a window at (x, y), or centred when x or y is
// -1, with ^ and v marks when entries are hidden above or below. Any key but
// the arrows ends it; the highlighted entry, trimmed, is stored in `chosen`
// whatever the key, and the key is the result.
int PopupList(int x, int y, int width, int list_height_limit, int item_count, TColors normal_colors,
              TColors highlight_colors, const TTextList& items, int pad_mode, std::string* chosen);

// A centred vertical menu; empty entries are separators that the selection
// passes over, wrapping at both ends. The 1-based index of the entry chosen
// with ENTER, or kKeyResize (redraw and show it again) or kKeyQuit; 0 for
// an empty list.
int MenuBox(const std::string& title, int title_row, int width, int background,
            TColors highlight_colors, TColors normal_colors, const TTextList& entries, int height);

// What lies under the boxes while it lives: the screen that opens them,
// drawn again whole (unfocused) after a resize before a box draws itself,
// so that a box never comes back alone on a cleared terminal. Nests; the
// previous one is in force again when it ends.
class TBackdrop {
 public:
  explicit TBackdrop(std::function<void()> draw);
  ~TBackdrop();
  TBackdrop(const TBackdrop&) = delete;
  TBackdrop& operator=(const TBackdrop&) = delete;

 private:
  std::function<void()> previous_;
};

// A 60-column box with the message (wrapped at blanks into at most four
// centred lines, the rest cut), the bell and "Press any key to continue";
// any key closes it. A resize redraws it.
void PressAnyKeyBox(const std::string& message, TColors colors);

// "<< Press [ESC] to return to Main Menu >>" centred in width at column 1 of
// row. With wait_for_esc, beeps at every other key until ESC. The key that
// ended it: 27, kKeyResize or kKeyQuit (or -1 when not waiting).
int EscapeHintLine(int width, int row, TColors colors, bool wait_for_esc);

// A box with one focused EditField; result is the typed text trimmed after
// ENTER, the initial text trimmed after ESC (and on kKeyQuit).
void InputBox(int width, const std::string& label, const std::string& initial, bool numeric_only,
              bool password, std::string* result);

// A box asking for Y or N; true for Y or y. False when the program must quit.
// The message is wrapped at blanks into at most four lines inside the box
// (each centred, or from column 2), the rest cut.
bool ConfirmYesNoBox(int width, const std::string& message, bool centred);

// Asks for the password until it is typed exactly (true) or the entry is
// empty or cancelled (false); "Wrong password !" after each wrong one. The
// field scrolls: a password longer than it can still be typed.
bool PasswordPrompt(int width, const std::string& expected);

// The cells of PasswordPrompt's field for a frame `width` wide.
int PasswordPromptWidth(int width);

// True with the number when the text is a whole number within [min, max]
// (a bound of -1: none on that side); otherwise value -1, false, and with
// show_error the out-of-range box. The number -1 itself is never valid.
bool CheckNumber(const std::string& text, int32_t min, int32_t max, bool show_error,
                 int32_t* value);

#endif  // VOLTMON_TUI_CTRLS_H_

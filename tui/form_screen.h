// The form screens' common loop: a screen is a table of rows (label, kind,
// the field's value as text, when it is shown and editable, its range and
// how ENTER stores it) and the loop draws them, moves the focus and stores
// the work text only on ENTER. The focus decisions are plain functions so
// that they are tested without a terminal.
#ifndef VOLTMON_TUI_FORM_SCREEN_H_
#define VOLTMON_TUI_FORM_SCREEN_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/text.h"
#include "tui/colors.h"

enum class TRowKind { kBlank, kYesNo, kChoice, kText, kPassword, kNumber, kButton };

using TRowTest = std::function<bool()>;

struct TFormRow {
  std::string label;  // for a button, its text
  TRowKind kind = TRowKind::kBlank;
  TRowTest shown;     // empty: always
  TRowTest editable;  // empty: whenever shown
  // The current value as the field shows it.
  std::function<std::string()> value;
  // The choices of a kChoice row.
  std::function<TTextList()> choices;
  // A kNumber row's limits in the shown unit (a bound of -1: none).
  std::function<int32_t()> minimum;
  std::function<int32_t()> maximum;
  // ENTER with the work text (a number already checked against the limits,
  // given as its decimal text); true moves the focus on, false keeps it.
  std::function<bool(const std::string&)> store;
  int max_length = 0;  // text rows: 0 is the field area beside the label, which
                       // also bounds any other length
  // A number row that also takes the text "-1" beside its limits.
  bool allows_minus_one = false;
  // Empty: ENTER checks and stores. False: ENTER only moves the focus on,
  // for a value shown but not the user's to set.
  TRowTest stores_on_enter;
};

struct TFormScreen {
  std::string title;
  std::vector<TFormRow> rows;
  // The window is the frame less these, in this background; title, labels
  // and hint line in TextColors.
  int width_less = 0;
  int height_less = 0;
  int background = 4;
  TColors text_colors = 0;
  TColors read_only_label_colors = 0;
  TColors read_only_value_colors = 0;
  int line_step = 2;  // row i on line 5 + line_step * i
  // Added to the window width for the choice fields' right edge.
  int right_edge_extra = 0;
  // Runs before every draw (rules that correct the record).
  std::function<void()> before_draw;
  // Draws what the table does not hold, after the rows.
  std::function<void()> extra_draw;
  // On ESC: -1 leaves, a row index keeps the screen open with that focus.
  std::function<int()> exit_check;
};

// The screen's colours and geometry as the main menu's form screens use them.
TFormScreen MakeFormScreen(const std::string& title);

// True when the row can take the focus: not blank, shown and editable.
bool RowFocusable(const TFormRow& row);
bool RowShown(const TFormRow& row);

// The row the focus reaches moving from `from` by `step` (1 or -1) past every
// row that cannot take it, wrapping at both ends; -1 when no row can.
int NextFocus(const std::vector<bool>& focusable, int from, int step);
// `focus` itself when it can take the focus, else NextFocus from it in the
// direction of `last_key` (the up arrow upward, anything else downward).
int SettleFocus(const std::vector<bool>& focusable, int focus, int last_key);

// The labels padded left-justified to the longest one; a button keeps its
// own width.
TTextList PaddedLabels(const std::vector<TFormRow>& rows);

// The number a number row's ENTER stores: true with it when `work` is within
// the row's limits (or is "-1" where the row allows it); otherwise false,
// after the error box with the limits when `show_error`.
bool RowNumber(const TFormRow& row, const std::string& work, bool show_error, int32_t* value);

// "Yes  " or "No  ", and the stored value of a yes/no work text.
std::string YesNoText(bool value);
bool YesNoValue(const std::string& work);

// Row builders over fields of the program's own record. A number row reads
// and writes its field through `get` and `set`, in the unit it shows, within
// `minimum` and `maximum` (-1: no bound).
TFormRow BlankRow();
TFormRow YesNoRow(const std::string& label, bool* field);
TFormRow TextRow(const std::string& label, std::string* field, bool password = false);
TFormRow NumberRow(const std::string& label, std::function<int64_t()> get,
                   std::function<void(int64_t)> set, int32_t minimum, int32_t maximum);
TFormRow ButtonRow(const std::string& text, std::function<bool()> action);
TFormRow ChoiceRow(const std::string& label, TTextList choices, std::function<std::string()> value,
                   std::function<bool(const std::string&)> store);

// Runs the screen until ESC passes the exit check or the program must end.
// The focus starts at the first row that can take it; with none, the screen
// only waits for ESC.
void RunFormScreen(const TFormScreen& screen);

#endif  // VOLTMON_TUI_FORM_SCREEN_H_

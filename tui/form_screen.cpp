// The loop every form screen runs. Each pass draws the whole screen from the
// record, so a value stored by ENTER, a row that appears or a label that
// changes are shown at once; the focused row's widget then reads the keys.
// A row that cannot take the focus is passed over in the direction of the
// last movement, which is why the loop only steps the focus by one and
// settles it at the next pass.
#include "tui/form_screen.h"

#include <algorithm>
#include <cstdlib>

#include "tui/console_ui.h"
#include "tui/ctrls.h"
#include "tui/curses_screen.h"

namespace {

constexpr int kFirstColumn = 3;
constexpr int kNumberLength = 10;

int Length(const std::string& text) {
  return static_cast<int>(text.size());
}

struct TGeometry {
  int width;
  int height;
  int right_edge;
};

TGeometry GeometryOf(const TFormScreen& screen) {
  const int width = ConsoleUi().FrameWidth - screen.width_less;
  const int height = ConsoleUi().FrameHeight - screen.height_less;
  return {width, height, width + screen.right_edge_extra};
}

int RowLine(const TFormScreen& screen, int index) {
  return 5 + screen.line_step * index;
}

// The row's widget, focused or not; the key that ended it (-1 unfocused).
int CallRow(const TFormScreen& screen, const TGeometry& g, const TFormRow& row,
            const std::string& label, int line, std::string* work, bool focused) {
  switch (row.kind) {
    case TRowKind::kYesNo:
    case TRowKind::kChoice: {
      const TTextList choices =
          row.kind == TRowKind::kYesNo ? ConsoleUi().YesNoList : row.choices();
      return ChoiceField(kFirstColumn, line, g.right_edge, g.height, screen.text_colors,
                         FieldColors, ListNormalColors, ListHighlightColors, label, choices,
                         kPadLeftJustify, work, focused);
    }
    case TRowKind::kText:
    case TRowKind::kPassword: {
      const int area = ConsoleUi().FieldAreaWidth - Length(label);
      const int max_length = row.max_length > 0 ? std::min(row.max_length, area) : area;
      return EditField(kFirstColumn, line, max_length, label, work, screen.text_colors, FieldColors,
                       false, focused, row.kind == TRowKind::kPassword);
    }
    case TRowKind::kNumber:
      return EditField(kFirstColumn, line, kNumberLength, label, work, screen.text_colors,
                       FieldColors, true, focused, false);
    case TRowKind::kButton:
      return ButtonField((g.width - Length(row.label)) / 2, line, row.label, screen.text_colors,
                         ButtonFocusColors, focused);
    case TRowKind::kBlank:
      break;
  }
  return -1;
}

void DrawRow(const TFormScreen& screen, const TGeometry& g, const TFormRow& row,
             const std::string& label, int line) {
  if (row.kind == TRowKind::kBlank || !RowShown(row)) return;
  std::string value = row.value ? row.value() : std::string();
  if (RowFocusable(row)) {
    CallRow(screen, g, row, label, line, &value, false);
    return;
  }
  if (row.kind == TRowKind::kButton) {
    WriteAt((g.width - Length(row.label)) / 2, line, row.label, false, false,
            screen.read_only_label_colors);
    return;
  }
  if (row.kind == TRowKind::kPassword) value = MaskText(value);
  WriteAt(kFirstColumn, line, label, false, false, screen.read_only_label_colors);
  WriteAt(kFirstColumn + Length(label) + 1, line, value, false, true,
          screen.read_only_value_colors);
}

int StepOf(int key) {
  return key == kKeyUp ? -1 : 1;
}

}  // namespace

TFormScreen MakeFormScreen(const std::string& title) {
  TFormScreen screen;
  screen.title = title;
  screen.text_colors = NormalColors;
  screen.read_only_label_colors = DimmedColors;
  screen.read_only_value_colors = DimmedColors;
  return screen;
}

bool RowShown(const TFormRow& row) {
  return !row.shown || row.shown();
}

bool RowFocusable(const TFormRow& row) {
  return row.kind != TRowKind::kBlank && RowShown(row) && (!row.editable || row.editable());
}

int NextFocus(const std::vector<bool>& focusable, int from, int step) {
  const int count = static_cast<int>(focusable.size());
  if (count == 0) return -1;
  int i = from;
  for (int n = 0; n < count; ++n) {
    i = ((i + step) % count + count) % count;
    if (focusable[i]) return i;
  }
  return -1;
}

int SettleFocus(const std::vector<bool>& focusable, int focus, int last_key) {
  const int count = static_cast<int>(focusable.size());
  if (count == 0) return -1;
  if (focus < 0 || focus >= count) focus = 0;
  if (focusable[focus]) return focus;
  return NextFocus(focusable, focus, StepOf(last_key));
}

TTextList PaddedLabels(const std::vector<TFormRow>& rows) {
  TTextList labels;
  for (const TFormRow& row : rows) {
    labels.push_back(row.kind == TRowKind::kButton ? std::string() : row.label);
  }
  PadList(&labels, MaxItemWidth(labels), kPadLeftJustify);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].kind == TRowKind::kButton) labels[i] = rows[i].label;
  }
  return labels;
}

bool RowNumber(const TFormRow& row, const std::string& work, bool show_error, int32_t* value) {
  if (row.allows_minus_one && TrimBlanks(work) == "-1") {
    *value = -1;
    return true;
  }
  const int32_t minimum = row.minimum ? row.minimum() : -1;
  const int32_t maximum = row.maximum ? row.maximum() : -1;
  return CheckNumber(work, minimum, maximum, show_error, value);
}

std::string YesNoText(bool value) {
  return value ? "Yes  " : "No  ";
}

bool YesNoValue(const std::string& work) {
  return work == "Yes";
}

TFormRow BlankRow() {
  return TFormRow();
}

TFormRow YesNoRow(const std::string& label, bool* field) {
  TFormRow row;
  row.label = label;
  row.kind = TRowKind::kYesNo;
  row.value = [field] { return YesNoText(*field); };
  row.store = [field](const std::string& work) {
    *field = YesNoValue(work);
    return true;
  };
  return row;
}

TFormRow TextRow(const std::string& label, std::string* field, bool password) {
  TFormRow row;
  row.label = label;
  row.kind = password ? TRowKind::kPassword : TRowKind::kText;
  row.value = [field] { return *field; };
  row.store = [field](const std::string& work) {
    *field = work;
    return true;
  };
  return row;
}

TFormRow NumberRow(const std::string& label, std::function<int64_t()> get,
                   std::function<void(int64_t)> set, int32_t minimum, int32_t maximum) {
  TFormRow row;
  row.label = label;
  row.kind = TRowKind::kNumber;
  row.value = [get] { return std::to_string(get()); };
  row.minimum = [minimum] { return minimum; };
  row.maximum = [maximum] { return maximum; };
  // The loop has checked the work text against the limits before this.
  row.store = [set](const std::string& work) {
    set(static_cast<int64_t>(std::atol(work.c_str())));
    return true;
  };
  return row;
}

TFormRow ButtonRow(const std::string& text, std::function<bool()> action) {
  TFormRow row;
  row.label = text;
  row.kind = TRowKind::kButton;
  row.store = [action](const std::string&) { return action(); };
  return row;
}

TFormRow ChoiceRow(const std::string& label, TTextList choices, std::function<std::string()> value,
                   std::function<bool(const std::string&)> store) {
  TFormRow row;
  row.label = label;
  row.kind = TRowKind::kChoice;
  row.choices = [choices] { return choices; };
  row.value = std::move(value);
  row.store = std::move(store);
  return row;
}

namespace {

// The whole screen, every row unfocused.
void DrawFormScreen(const TFormScreen& screen) {
  const TGeometry g = GeometryOf(screen);
  const TTextList labels = PaddedLabels(screen.rows);
  OpenCenteredWindow(g.width, g.height, screen.background);
  WriteCentered(screen.title, g.width, 2, screen.text_colors);
  for (size_t i = 0; i < screen.rows.size(); ++i) {
    DrawRow(screen, g, screen.rows[i], labels[i], RowLine(screen, static_cast<int>(i)));
  }
  if (screen.extra_draw) screen.extra_draw();
  EscapeHintLine(g.width, g.height, screen.text_colors, false);
}

}  // namespace

void RunFormScreen(const TFormScreen& screen) {
  const int count = static_cast<int>(screen.rows.size());
  int focus = 0;
  int last_key = kKeyNone;
  TBackdrop backdrop([&screen] { DrawFormScreen(screen); });
  for (;;) {
    if (QuitRequested()) return;
    if (screen.before_draw) screen.before_draw();
    const TGeometry g = GeometryOf(screen);
    const TTextList labels = PaddedLabels(screen.rows);
    DrawFormScreen(screen);
    std::vector<bool> focusable;
    for (int i = 0; i < count; ++i) focusable.push_back(RowFocusable(screen.rows[i]));

    focus = SettleFocus(focusable, focus, last_key);
    int key;
    std::string work;
    if (focus < 0) {
      key = EscapeHintLine(g.width, g.height, screen.text_colors, true);
    } else {
      const TFormRow& row = screen.rows[focus];
      work = row.value ? row.value() : std::string();
      key = CallRow(screen, g, row, labels[focus], RowLine(screen, focus), &work, true);
    }
    if (key == kKeyQuit) return;
    if (key == kKeyResize) continue;

    if (key == kKeyEsc) {
      const int stay = screen.exit_check ? screen.exit_check() : -1;
      if (stay < 0) return;
      focus = stay;
    } else if (focus >= 0) {
      const TFormRow& row = screen.rows[focus];
      if (key == kKeyTab || key == kKeyDown) {
        focus = (focus + 1) % count;
      } else if (key == kKeyUp) {
        focus = (focus + count - 1) % count;
      } else if (key == kKeyEnter && row.stores_on_enter && !row.stores_on_enter()) {
        focus = (focus + 1) % count;
      } else if (key == kKeyEnter && row.store) {
        bool stored;
        if (row.kind == TRowKind::kNumber) {
          int32_t number = 0;
          stored = RowNumber(row, work, true, &number) && row.store(std::to_string(number));
        } else {
          stored = row.store(work);
        }
        if (stored) focus = (focus + 1) % count;
      }
    }
    last_key = key;
  }
}

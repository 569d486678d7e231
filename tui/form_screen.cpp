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
  int Width;
  int Height;
  int RightEdge;
};

TGeometry GeometryOf(const TFormScreen& screen) {
  const int width = ConsoleUi().FrameWidth - screen.WidthLess;
  const int height = ConsoleUi().FrameHeight - screen.HeightLess;
  return {width, height, width + screen.RightEdgeExtra};
}

int RowLine(const TFormScreen& screen, int index) {
  return 5 + screen.LineStep * index;
}

// The row's widget, focused or not; the key that ended it (-1 unfocused).
int CallRow(const TFormScreen& screen, const TGeometry& g, const TFormRow& row,
            const std::string& label, int line, std::string* work, bool focused) {
  switch (row.Kind) {
    case TRowKind::kYesNo:
    case TRowKind::kChoice: {
      const TextList choices = row.Kind == TRowKind::kYesNo ? ConsoleUi().YesNoList : row.Choices();
      return ChoiceField(kFirstColumn, line, g.RightEdge, g.Height, screen.TextColors, FieldColors,
                         ListNormalColors, ListHighlightColors, label, choices, kPadLeftJustify,
                         work, focused);
    }
    case TRowKind::kText:
    case TRowKind::kPassword: {
      const int area = ConsoleUi().FieldAreaWidth - Length(label);
      const int max_length = row.MaxLength > 0 ? std::min(row.MaxLength, area) : area;
      return EditField(kFirstColumn, line, max_length, label, work, screen.TextColors, FieldColors,
                       false, focused, row.Kind == TRowKind::kPassword);
    }
    case TRowKind::kNumber:
      return EditField(kFirstColumn, line, kNumberLength, label, work, screen.TextColors,
                       FieldColors, true, focused, false);
    case TRowKind::kButton:
      return ButtonField((g.Width - Length(row.Label)) / 2, line, row.Label, screen.TextColors,
                         ButtonFocusColors, focused);
    case TRowKind::kBlank:
      break;
  }
  return -1;
}

void DrawRow(const TFormScreen& screen, const TGeometry& g, const TFormRow& row,
             const std::string& label, int line) {
  if (row.Kind == TRowKind::kBlank || !RowShown(row)) return;
  std::string value = row.Value ? row.Value() : std::string();
  if (RowFocusable(row)) {
    CallRow(screen, g, row, label, line, &value, false);
    return;
  }
  if (row.Kind == TRowKind::kButton) {
    WriteAt((g.Width - Length(row.Label)) / 2, line, row.Label, false, false,
            screen.ReadOnlyLabelColors);
    return;
  }
  if (row.Kind == TRowKind::kPassword) value = MaskText(value);
  WriteAt(kFirstColumn, line, label, false, false, screen.ReadOnlyLabelColors);
  WriteAt(kFirstColumn + Length(label) + 1, line, value, false, true, screen.ReadOnlyValueColors);
}

int StepOf(int key) {
  return key == kKeyUp ? -1 : 1;
}

}  // namespace

TFormScreen MakeFormScreen(const std::string& title) {
  TFormScreen screen;
  screen.Title = title;
  screen.TextColors = NormalColors;
  screen.ReadOnlyLabelColors = DimmedColors;
  screen.ReadOnlyValueColors = DimmedColors;
  return screen;
}

bool RowShown(const TFormRow& row) {
  return !row.Shown || row.Shown();
}

bool RowFocusable(const TFormRow& row) {
  return row.Kind != TRowKind::kBlank && RowShown(row) && (!row.Editable || row.Editable());
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

TextList PaddedLabels(const std::vector<TFormRow>& rows) {
  TextList labels;
  for (const TFormRow& row : rows) {
    labels.push_back(row.Kind == TRowKind::kButton ? std::string() : row.Label);
  }
  PadList(&labels, MaxItemWidth(labels), kPadLeftJustify);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].Kind == TRowKind::kButton) labels[i] = rows[i].Label;
  }
  return labels;
}

bool RowNumber(const TFormRow& row, const std::string& work, bool show_error, int32_t* value) {
  if (row.AllowsMinusOne && TrimBlanks(work) == "-1") {
    *value = -1;
    return true;
  }
  const int32_t minimum = row.Minimum ? row.Minimum() : -1;
  const int32_t maximum = row.Maximum ? row.Maximum() : -1;
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
  row.Label = label;
  row.Kind = TRowKind::kYesNo;
  row.Value = [field] { return YesNoText(*field); };
  row.Store = [field](const std::string& work) {
    *field = YesNoValue(work);
    return true;
  };
  return row;
}

TFormRow TextRow(const std::string& label, std::string* field, bool password) {
  TFormRow row;
  row.Label = label;
  row.Kind = password ? TRowKind::kPassword : TRowKind::kText;
  row.Value = [field] { return *field; };
  row.Store = [field](const std::string& work) {
    *field = work;
    return true;
  };
  return row;
}

TFormRow NumberRow(const std::string& label, std::function<int64_t()> get,
                   std::function<void(int64_t)> set, int32_t minimum, int32_t maximum) {
  TFormRow row;
  row.Label = label;
  row.Kind = TRowKind::kNumber;
  row.Value = [get] { return std::to_string(get()); };
  row.Minimum = [minimum] { return minimum; };
  row.Maximum = [maximum] { return maximum; };
  // The loop has checked the work text against the limits before this.
  row.Store = [set](const std::string& work) {
    set(static_cast<int64_t>(std::atol(work.c_str())));
    return true;
  };
  return row;
}

TFormRow ButtonRow(const std::string& text, std::function<bool()> action) {
  TFormRow row;
  row.Label = text;
  row.Kind = TRowKind::kButton;
  row.Store = [action](const std::string&) { return action(); };
  return row;
}

TFormRow ChoiceRow(const std::string& label, TextList choices, std::function<std::string()> value,
                   std::function<bool(const std::string&)> store) {
  TFormRow row;
  row.Label = label;
  row.Kind = TRowKind::kChoice;
  row.Choices = [choices] { return choices; };
  row.Value = std::move(value);
  row.Store = std::move(store);
  return row;
}

namespace {

// The whole screen, every row unfocused.
void DrawFormScreen(const TFormScreen& screen) {
  const TGeometry g = GeometryOf(screen);
  const TextList labels = PaddedLabels(screen.Rows);
  OpenCenteredWindow(g.Width, g.Height, screen.Background);
  WriteCentered(screen.Title, g.Width, 2, screen.TextColors);
  for (size_t i = 0; i < screen.Rows.size(); ++i) {
    DrawRow(screen, g, screen.Rows[i], labels[i], RowLine(screen, static_cast<int>(i)));
  }
  if (screen.ExtraDraw) screen.ExtraDraw();
  EscapeHintLine(g.Width, g.Height, screen.TextColors, false);
}

}  // namespace

void RunFormScreen(const TFormScreen& screen) {
  const int count = static_cast<int>(screen.Rows.size());
  int focus = 0;
  int last_key = kKeyNone;
  TBackdrop backdrop([&screen] { DrawFormScreen(screen); });
  for (;;) {
    if (QuitRequested()) return;
    if (screen.BeforeDraw) screen.BeforeDraw();
    const TGeometry g = GeometryOf(screen);
    const TextList labels = PaddedLabels(screen.Rows);
    DrawFormScreen(screen);
    std::vector<bool> focusable;
    for (int i = 0; i < count; ++i) focusable.push_back(RowFocusable(screen.Rows[i]));

    focus = SettleFocus(focusable, focus, last_key);
    int key;
    std::string work;
    if (focus < 0) {
      key = EscapeHintLine(g.Width, g.Height, screen.TextColors, true);
    } else {
      const TFormRow& row = screen.Rows[focus];
      work = row.Value ? row.Value() : std::string();
      key = CallRow(screen, g, row, labels[focus], RowLine(screen, focus), &work, true);
    }
    if (key == kKeyQuit) return;
    if (key == kKeyResize) continue;

    if (key == kKeyEsc) {
      const int stay = screen.ExitCheck ? screen.ExitCheck() : -1;
      if (stay < 0) return;
      focus = stay;
    } else if (focus >= 0) {
      const TFormRow& row = screen.Rows[focus];
      if (key == kKeyTab || key == kKeyDown) {
        focus = (focus + 1) % count;
      } else if (key == kKeyUp) {
        focus = (focus + count - 1) % count;
      } else if (key == kKeyEnter && row.StoresOnEnter && !row.StoresOnEnter()) {
        focus = (focus + 1) % count;
      } else if (key == kKeyEnter && row.Store) {
        bool stored;
        if (row.Kind == TRowKind::kNumber) {
          int32_t number = 0;
          stored = RowNumber(row, work, true, &number) && row.Store(std::to_string(number));
        } else {
          stored = row.Store(work);
        }
        if (stored) focus = (focus + 1) % count;
      }
    }
    last_key = key;
  }
}

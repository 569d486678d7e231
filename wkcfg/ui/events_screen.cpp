// The events configuration screen: the events of the selected model one at
// a time with the list of the shown event's jobs, and the commands that
// insert, edit, delete, move, save, load and reset them. The decisions are
// in events_view; here the screen is drawn whole on every pass, so that it
// comes back complete after each box, list or resize.
#include "wkcfg/ui/events_screen.h"

#include <errno.h>

#include <algorithm>
#include <cstring>

#include "common/lang.h"
#include "tui/console_ui.h"
#include "tui/ctrls.h"
#include "tui/curses_screen.h"
#include "wkcfg/model/console_state.h"
#include "wkcfg/ui/events_view.h"
#include "wkcfg/ui/screens.h"

namespace {

const char kTitle[] = "EVENTS CONFIGURATION";
const char* const kHelpLines[] = {
    " [I] Insert job     [P] Move job Up         [L] Load Events from file  ",
    " [E] Edit job                               [W] Save Events to file    ",
    " [D] Delete job     [N] Move job Down       [R] Reset Events to default",
};
constexpr int kHelpWidth = 71;
const char kEventLabel[] = "Possible events for current UPS  [press S for list]:";
const char kJobsLabel[] = "Configured jobs list for current event:";
const char kNoJobsLabel[] = "Configured jobs list for current event:   NO JOBS CONFIGURED !!!";
const char kSavePrompt[] = "Save as:";
const char kSaveDone[] = "File saved properly.";
const char kReplaceQuestion[] = "This file exists already. Replace it ?";
const char kLoadPrompt[] = "Open:";
const char kLoadDone[] = "File loaded properly.";
const char kChooserTitle[] = "SELECT JOB TO INSERT:";
const char kChooserHint[] = "[ENTER] Select          [ESC] Cancel";
const char kNoParameters[] = "No parameters for modification !";
const char kSeparatorRefused[] = "Error !  The characters , and | cannot be stored";
const char kOkButton[] = "  [ OK ]  ";
const char kCancelButton[] = " [Cancel] ";

constexpr int kFrameBackground = 4;
constexpr int kChooserBackground = 2;
constexpr TColors kChooserColors = MakeColors(0, 2);
constexpr int kDialogBackground = 11;
constexpr TColors kDialogColors = MakeColors(0, 11);

bool MustQuit(int key) {
  return key == kKeyQuit || QuitRequested();
}

int Length(const std::string& text) {
  return static_cast<int>(text.size());
}

int32_t WarningTime() {
  return ConsoleState().setup.Server.SrvDownWarningTime;
}

std::string LoadCutText() {
  return "Only the first " + std::to_string(TEvents::kMaxEvents) +
         " events were loaded: the list was cut.";
}

// Everything but the jobs list: title, key help, the event field.
void DrawEventsFrame(const TEventsView& view) {
  const TConsoleUi& ui = ConsoleUi();
  OpenCenteredWindow(ui.FrameWidth, ui.FrameHeight, kFrameBackground);
  WriteCentered(kTitle, ui.FrameWidth, 2, NormalColors);
  const int help_column = (ui.FrameWidth - kHelpWidth) / 2;
  for (int i = 0; i < 3; ++i) {
    WriteAt(help_column, ui.FrameHeight - 4 + i, kHelpLines[i], false, false, NormalColors);
  }
  EscapeHintLine(ui.FrameWidth, ui.FrameHeight, NormalColors, false);
  WriteAt(4, 5, kEventLabel, false, false, ChoiceLabelColors);
  const int field_width = ui.FrameWidth - 5;
  const bool named =
      view.CurrentEvent >= 0 && view.CurrentEvent < static_cast<int>(view.EventNamesList.size());
  // Cut to the field, so that a long name never runs over the window.
  std::string shown =
      named ? view.EventNamesList[view.CurrentEvent].substr(0, static_cast<size_t>(field_width))
            : std::string();
  EditField(3, 6, field_width, "", &shown, ChoiceLabelColors, FieldColors, false, false, false);
}

// The jobs list (or its absence) and the key that is the command.
int ReadCommandKey(TEventsView* view) {
  const TConsoleUi& ui = ConsoleUi();
  if (view->JobLines.empty()) {
    WriteAt(4, 8, kNoJobsLabel, false, false, ChoiceLabelColors);
    return ReadKeyCode();
  }
  WriteAt(4, 8, kJobsLabel, false, false, ChoiceLabelColors);
  return PopupList(5, 9, ui.FrameWidth - 6, ui.FrameHeight - 11, ui.FrameHeight - 11,
                   ListNormalColors, ListHighlightColors, view->JobLines, kPadLeftJustify,
                   &view->ChosenLine);
}

// S: the event chosen from the list of all events becomes current.
void ListEvents(TEventsView* view, const TEvents& events) {
  if (events.Count() == 0) return;
  const TConsoleUi& ui = ConsoleUi();
  std::string chosen;
  const int closed = PopupList(-1, -1, std::min(view->EventListWidth, ui.FrameWidth),
                               ui.FrameHeight - 4, events.Count(), ListNormalColors,
                               ListHighlightColors, view->EventNamesList, kPadLeftJustify, &chosen);
  if (closed == kKeyEnter) view->SelectEvent(events, chosen);
}

void InsertJob(TEventsView* view, TEvents* events) {
  if (!view->HasEvent(*events)) return;
  int action = -1;
  if (!ChooseJobType(&action)) return;
  std::string job;
  if (EditJobDialog(&job, action, true)) events->AppendJob(view->CurrentEvent, job);
  view->FillJobLines(*events);
}

void EditJob(TEventsView* view, TEvents* events) {
  if (!view->HasEvent(*events) || view->JobLines.empty()) return;
  const int position = view->ChosenPosition();
  if (position < 0) return;
  std::string job = events->Job(view->CurrentEvent, position);
  const int action = JobEditAction(job);
  // A job of an unknown action is kept as it came: the console cannot
  // rebuild it, and taking it for "$SHUTDOWN" would change what it does.
  if (action < 0) {
    PressAnyKeyBox(kNoParameters, SuccessColors);
    return;
  }
  if (EditJobDialog(&job, action, false)) events->ReplaceJob(view->CurrentEvent, position, job);
  view->FillJobLines(*events);
}

// The file name typed into the box; empty when cancelled.
std::string AskFileName(const char* prompt) {
  std::string name;
  InputBox(ConsoleUi().FrameWidth, prompt, "", false, false, &name);
  return QuitRequested() ? std::string() : name;
}

// Never over a link, something that is not a regular file or a settings
// file of the installation; over another file only when the user says so.
void SaveEvents(const TEvents& events) {
  const std::string name = AskFileName(kSavePrompt);
  if (name.empty()) return;
  bool exists = false;
  const std::string refusal = EventsFileRefusal(ConsoleState(), name, &exists);
  if (!refusal.empty()) {
    ScreenBeep();
    ShowError(FileErrorMessage(refusal, name));
    return;
  }
  if (exists && !ConfirmYesNoBox(ConsoleUi().FrameWidth, kReplaceQuestion, false)) return;
  const int result = events.SaveEventsFile(name);
  ScreenBeep();
  if (result == 0) {
    PressAnyKeyBox(kSaveDone, SuccessColors);
  } else {
    ShowError(FileErrorMessage(SystemErrorText(result), name));
  }
}

// The file is read whole into a separate list first, so that a file that
// cannot be read leaves the events as they were.
void LoadEvents(TEventsView* view, TEvents* events) {
  const std::string name = AskFileName(kLoadPrompt);
  if (name.empty()) return;
  TEvents loaded;
  const int result = loaded.LoadEventsFile(name);
  ScreenBeep();
  if (result != 0 && result != EFBIG) {
    ShowError(FileErrorMessage(SystemErrorText(result), name));
    return;
  }
  *events = loaded;
  view->Rebuild(*events, WarningTime());
  if (result == 0) {
    PressAnyKeyBox(kLoadDone, SuccessColors);
  } else {
    ShowError(LoadCutText());
  }
}

void ResetEvents(TEventsView* view, TEvents* events) {
  if (!ConfirmYesNoBox(ConsoleUi().FrameWidth, LangText("InfoEventsReset", "WKCFG"), false)) return;
  ResetEventsToDefault(&ConsoleState());
  view->Rebuild(*events, WarningTime());
}

std::string ActionName(int action) {
  const TTextList& actions = ConsoleUi().ActionsList;
  return action >= 0 && action < static_cast<int>(actions.size()) ? actions[action] : "";
}

// Geometry of the job dialog for its number of fields.
struct TDialogLayout {
  int width;
  int label_width;
  int field_length;
  int button_column;
  int ok_row;
  int cancel_row;
};

TDialogLayout LayoutOf(const TJobForm& form, const TTextList& labels) {
  TDialogLayout layout;
  const int fields = static_cast<int>(form.fields.size());
  layout.width = ConsoleUi().FrameWidth - 2;
  layout.label_width = MaxItemWidth(labels);
  layout.field_length = layout.width - layout.label_width - 4;
  layout.button_column = (layout.width - Length(kOkButton)) / 2;
  layout.ok_row = 5 + 2 * (fields + 1);
  layout.cancel_row = layout.ok_row + 2;
  return layout;
}

void OpenJobDialog(const TJobForm& form, const TDialogLayout& layout, bool is_new) {
  const int rows = static_cast<int>(form.fields.size()) + 3;
  OpenCenteredWindow(layout.width, rows + 8, kDialogBackground);
  const std::string title =
      std::string(is_new ? "NEW JOB : " : "EDIT JOB : ") + ActionName(form.action);
  WriteCentered(title, layout.width, 2, kDialogColors);
}

// One pass of the dialog: every row unfocused, then the focused one, whose
// key is returned; a field's typed text is left in `typed`.
int DialogPass(const TJobForm& form, const TTextList& labels, const TDialogLayout& layout,
               std::string* typed) {
  const int fields = static_cast<int>(form.fields.size());
  for (int i = 0; i < fields; ++i) {
    std::string shown = form.values[i];
    EditField(3, 5 + 2 * i, layout.field_length, labels[i], &shown, kDialogColors, FieldColors,
              form.fields[i].port, false, false);
  }
  ButtonField(layout.button_column, layout.ok_row, kOkButton, kDialogColors, ButtonFocusColors,
              false);
  ButtonField(layout.button_column, layout.cancel_row, kCancelButton, kDialogColors,
              ButtonFocusColors, false);
  if (form.focus < fields) {
    *typed = form.values[form.focus];
    return EditField(3, 5 + 2 * form.focus, layout.field_length, labels[form.focus], typed,
                     kDialogColors, FieldColors, form.fields[form.focus].port, true, false);
  }
  const bool ok = form.focus == form.OkRow();
  return ButtonField(layout.button_column, ok ? layout.ok_row : layout.cancel_row,
                     ok ? kOkButton : kCancelButton, kDialogColors, ButtonFocusColors, true);
}

// Runs the dialog until OK with a first parameter (true) or Cancel/ESC.
bool RunJobForm(TJobForm* form, bool is_new) {
  TTextList labels;
  for (const TJobField& field : form->fields) labels.push_back(field.label);
  bool reopen = true;
  for (;;) {
    if (QuitRequested()) return false;
    if (reopen) {
      ComputeFrame();
      PadList(&labels, MaxItemWidth(labels), kPadLeftJustify);
      OpenJobDialog(*form, LayoutOf(*form, labels), is_new);
      reopen = false;
    }
    std::string typed;
    const int key = DialogPass(*form, labels, LayoutOf(*form, labels), &typed);
    if (MustQuit(key)) return false;
    if (key == kKeyResize) {
      reopen = true;
      continue;
    }
    int32_t port = 0;
    switch (JobFormKey(form, key, typed)) {
      case TJobFormStep::kOpen:
        break;
      case TJobFormStep::kBadPort:
        CheckNumber(typed, kMinRemotePort, kMaxRemotePort, true, &port);
        reopen = true;
        break;
      case TJobFormStep::kBadText:
        ShowError(kSeparatorRefused);
        reopen = true;
        break;
      case TJobFormStep::kEmptyFirst:
        ShowError(LangText("100008", "ERRORS"));
        reopen = true;
        break;
      case TJobFormStep::kAccepted:
        return true;
      case TJobFormStep::kCancelled:
        return false;
    }
  }
}

}  // namespace

bool ChooseJobType(int* action) {
  *action = -1;
  const TTextList& actions = ConsoleUi().ActionsList;
  for (;;) {
    if (QuitRequested()) return false;
    ComputeFrame();
    const TConsoleUi& ui = ConsoleUi();
    OpenCenteredWindow(ui.FrameWidth, ui.FrameHeight, kChooserBackground);
    WriteCentered(kChooserTitle, ui.FrameWidth, 2, kChooserColors);
    WriteAt((ui.FrameWidth - Length(kChooserHint)) / 2, ui.FrameHeight, kChooserHint, false, false,
            kChooserColors);
    std::string chosen;
    const int key =
        PopupList(-1, -1, ui.FrameWidth - 6, ui.FrameHeight - 6, ui.FrameHeight - 6,
                  ListNormalColors, ListHighlightColors, actions, kPadLeftJustify, &chosen);
    if (key == kKeyEnter) {
      *action = LinePosition(actions, chosen);
      return *action >= 0;
    }
    if (key == kKeyEsc || MustQuit(key)) return false;
  }
}

bool EditJobDialog(std::string* job, int action, bool is_new) {
  switch (JobDialogKindOf(action)) {
    case TJobDialogKind::kNone:
      return false;
    case TJobDialogKind::kNoParameters:
      if (!is_new) PressAnyKeyBox(kNoParameters, SuccessColors);
      *job = BuildJob(action, {});
      return true;
    case TJobDialogKind::kFields:
      break;
  }
  TJobForm form = TJobForm::For(action, *job, is_new);
  if (!RunJobForm(&form, is_new)) return false;
  *job = BuildJob(action, form.values);
  return true;
}

void EventsScreen() {
  TConsoleState& state = ConsoleState();
  TEvents& events = state.setup.Ups.Events;
  TEventsView view;
  view.Rebuild(events, WarningTime());
  // Under a box after a resize: the frame with the event (the jobs list is
  // drawn again once the box is closed).
  TBackdrop backdrop([&view] { DrawEventsFrame(view); });
  for (;;) {
    if (QuitRequested()) return;
    ComputeFrame();
    DrawEventsFrame(view);
    const int key = ReadCommandKey(&view);
    if (MustQuit(key)) return;
    const TEventsCommand command = EventsCommandOfKey(key);
    switch (command) {
      case TEventsCommand::kNone:
        break;
      case TEventsCommand::kLeave:
        return;
      case TEventsCommand::kListEvents:
        ListEvents(&view, events);
        break;
      case TEventsCommand::kInsert:
        InsertJob(&view, &events);
        break;
      case TEventsCommand::kEdit:
        EditJob(&view, &events);
        break;
      case TEventsCommand::kDelete:
      case TEventsCommand::kMoveUp:
      case TEventsCommand::kMoveDown:
        ApplyJobCommand(&view, &events, command);
        break;
      case TEventsCommand::kSave:
        SaveEvents(events);
        break;
      case TEventsCommand::kLoad:
        LoadEvents(&view, &events);
        break;
      case TEventsCommand::kReset:
        ResetEvents(&view, &events);
        break;
    }
  }
}

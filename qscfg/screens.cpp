// The screens over the daemon's settings. Number rows take their ranges from
// the daemon's key table; ENTER on a master or a script asks the rules of
// qscfg/rows.h, which refuse only what the daemon cannot take and turn
// anything doubtful (a name that does not resolve, a script that cannot be
// started) into a warning shown once and a "!" beside the row.
#include "qscfg/screens.h"

#include <cstdlib>
#include <vector>

#include "common/clock.h"

#include "common/lang.h"
#include "common/orders.h"
#include "qscfg/rows.h"
#include "qslx/setup.h"
#include "tui/console_ui.h"
#include "tui/crt.h"
#include "tui/ctrls.h"
#include "tui/form_screen.h"

namespace {

const char kSection[] = "QSCFG";
constexpr int kMarkColumn = 1;

TQsConfig& Config() {
  return QsEditor().config;
}

const TQsNumberKey& KeyOf(const std::string& name) {
  const TQsNumberKey* key = FindQsNumberKey(name);
  // A row naming no key is a mistake in a screen's table.
  if (key == nullptr) std::abort();
  return *key;
}

// A number row over a daemon key, shown in the key's unit.
TFormRow QsNumberRow(const std::string& label, const std::string& name) {
  const TQsNumberKey& key = KeyOf(name);
  const int32_t scale = key.scale;
  TFormRow row;
  row.label = label;
  row.kind = TRowKind::kNumber;
  row.value = [name, scale] { return std::to_string(QsNumber(Config(), name) / scale); };
  row.minimum = [minimum = key.minimum] { return minimum; };
  row.maximum = [maximum = key.maximum] { return maximum; };
  row.store = [name, scale](const std::string& work) {
    Config().numbers[name] = static_cast<int32_t>(std::atol(work.c_str()) * scale);
    return true;
  };
  return row;
}

TFormRow QsSwitchRow(const std::string& label, const std::string& name) {
  KeyOf(name);
  TFormRow row;
  row.label = label;
  row.kind = TRowKind::kYesNo;
  row.value = [name] { return YesNoText(QsNumber(Config(), name) != 0); };
  row.store = [name](const std::string& work) {
    Config().numbers[name] = YesNoValue(work) ? 1 : 0;
    return true;
  };
  return row;
}

TRowTest SwitchedOn(const std::string& name) {
  return [name] { return QsNumber(Config(), name) != 0; };
}

std::string Text(const std::string& key, const std::string& value) {
  const std::string section = key == "100008" ? "ERRORS" : kSection;
  return ReplaceParam(LangText(key, section), value);
}

// Shows what the rule decided; true when the value is to be stored.
bool Obey(const TEntryOutcome& outcome, const std::string& value) {
  switch (outcome.verdict) {
    case TEntryVerdict::kRefuse:
      ShowError(Text(outcome.text_key, value));
      return false;
    case TEntryVerdict::kStoreWarning:
      PressAnyKeyBox(Text(outcome.text_key, value), NoticeColors);
      return true;
    case TEntryVerdict::kStore:
      break;
  }
  return true;
}

bool HaveMasters() {
  return !Config().masters.empty();
}

size_t& Current() {
  TQsEditor& editor = QsEditor();
  if (editor.current >= editor.config.masters.size()) editor.current = 0;
  return editor.current;
}

bool AcceptMaster(const std::string& address) {
  const TEntryOutcome outcome = MasterEntry(address, QsEditor().probes);
  QsEditor().unsound[address] = outcome.verdict != TEntryVerdict::kStore;
  QsEditor().pending.erase(address);
  return Obey(outcome, address);
}

bool AddMasterButton() {
  std::string address;
  InputBox(ConsoleUi().FrameWidth, "Master server:", "", false, false, &address);
  if (!address.empty() && AcceptMaster(address)) Current() = AddMaster(&Config().masters, address);
  return false;
}

bool DeleteMasterButton() {
  if (!HaveMasters()) return false;
  const std::string address = Config().masters[Current()];
  if (ConfirmYesNoBox(ConsoleUi().FrameWidth, Text("DeleteMaster", address), true))
    Current() = DeleteMaster(&Config().masters, Current());
  return false;
}

// The masters below the rows, the selected one marked ">", a doubtful one
// "!", one whose name is still being looked up "?".
void DrawMasterList(int first_line) {
  const TTextList& masters = Config().masters;
  const int last_line = ConsoleUi().FrameHeight - 2;
  WriteAt(3, first_line, LangText("MasterList", kSection), false, false, NormalColors);
  if (last_line <= first_line) return;
  const size_t rows = static_cast<size_t>(last_line - first_line);
  const size_t start = ListWindowStart(masters.size(), Current(), rows);
  for (size_t i = start; i < masters.size() && i < start + rows; ++i) {
    const int line = first_line + 1 + static_cast<int>(i - start);
    const TMasterMark mark = MasterMark(masters[i]);
    WriteAt(kMarkColumn, line,
            mark == TMasterMark::kWarned    ? "!"
            : mark == TMasterMark::kPending ? "?"
                                            : " ",
            false, false, ErrorColors);
    const std::string selected = i == Current() ? "> " : "  ";
    // A long name is cut on the screen only, so that it stays on its row.
    const std::string entry = selected + std::to_string(i + 1) + ". " + masters[i];
    WriteAt(3, line, CutToWidth(entry, ConsoleUi().FrameWidth - 3), false, false,
            i == Current() ? ListHighlightColors : NormalColors);
  }
}

// The current window's bounds, to tell the masters screen from a box over it.
std::vector<int> WindowBounds() {
  return {WindowLeft(), WindowTop(), WindowRight(), WindowBottom()};
}

// While the masters screen waits for a key, the names that answered get
// their marks at once; under a box they get them at the next full draw.
class TLookupMarks {
 public:
  explicit TLookupMarks(int list_line) {
    SetIdleCallback([this, list_line] {
      TQsEditor& editor = QsEditor();
      if (editor.pending.empty()) return;
      const size_t before = editor.pending.size();
      for (const std::string& master : editor.config.masters) MasterMark(master);
      if (editor.pending.size() != before && WindowBounds() == drawn_in_) DrawMasterList(list_line);
    });
  }
  ~TLookupMarks() { SetIdleCallback(nullptr); }
  TLookupMarks(const TLookupMarks&) = delete;
  TLookupMarks& operator=(const TLookupMarks&) = delete;
  void Drawn() { drawn_in_ = WindowBounds(); }

 private:
  std::vector<int> drawn_in_;
};

}  // namespace

TQsEditor& QsEditor() {
  static TQsEditor editor;
  return editor;
}

TMasterMark MasterMark(const std::string& address) {
  TQsEditor& editor = QsEditor();
  const auto settled = editor.unsound.find(address);
  if (settled != editor.unsound.end())
    return settled->second ? TMasterMark::kWarned : TMasterMark::kNone;
  const TAddressSyntax syntax = ClassifyAddress(address);
  if (syntax != TAddressSyntax::kHostName) {
    editor.unsound[address] = syntax == TAddressSyntax::kInvalid;
    return MasterMark(address);
  }
  auto pending = editor.pending.find(address);
  if (pending == editor.pending.end()) {
    TQsEditor::TPendingName name{editor.probes.lookup(address), NowMs() + kQsLookupMs};
    pending = editor.pending.emplace(address, std::move(name)).first;
  }
  const TResolveResult result = pending->second.lookup->Poll();
  if (result == TResolveResult::kPending && NowMs() < pending->second.due_ms)
    return TMasterMark::kPending;
  editor.unsound[address] = result != TResolveResult::kResolved;
  editor.pending.erase(pending);
  return MasterMark(address);
}

void ListenPortScreen() {
  TFormScreen screen = MakeFormScreen("LISTEN PORT CONFIGURATION");
  screen.rows = {QsNumberRow("TCP/IP port for the orders of the masters:", "ListenPort")};
  RunFormScreen(screen);
}

void MastersScreen() {
  TFormRow list = ChoiceRow(
      "Master servers:", {},
      [] { return HaveMasters() ? MasterChoices(Config().masters)[Current()] : std::string(); },
      [](const std::string& work) {
        const int index = MasterChoiceIndex(work, Config().masters.size());
        if (index >= 0) Current() = static_cast<size_t>(index);
        return true;
      });
  list.choices = [] { return MasterChoices(Config().masters); };
  list.shown = HaveMasters;

  TFormRow selected;
  selected.label = "Selected master server:";
  selected.kind = TRowKind::kText;
  selected.shown = HaveMasters;
  selected.value = [] { return HaveMasters() ? Config().masters[Current()] : std::string(); };
  selected.store = [](const std::string& work) {
    if (!AcceptMaster(work)) return false;
    Config().masters[Current()] = work;
    return true;
  };

  auto move = [](int step) {
    return [step] {
      Current() = MoveMaster(&Config().masters, Current(), step);
      return false;
    };
  };
  TFormRow remove = ButtonRow(" [ Delete the selected master server ] ", DeleteMasterButton);
  TFormRow up = ButtonRow(" [ Move the selected master server up ] ", move(-1));
  TFormRow down = ButtonRow(" [ Move the selected master server down ] ", move(1));
  for (TFormRow* row : {&remove, &up, &down}) row->shown = HaveMasters;

  TFormScreen screen = MakeFormScreen("MASTER SERVERS CONFIGURATION");
  screen.line_step = 1;
  screen.rows = {
      list,   selected, BlankRow(), ButtonRow(" [ Add a master server ] ", AddMasterButton),
      remove, up,       down};
  const int list_line = 5 + static_cast<int>(screen.rows.size()) + 1;
  // Every name is looked up at once, side by side, before the first draw.
  for (const std::string& master : Config().masters) MasterMark(master);
  TLookupMarks marks(list_line);
  screen.extra_draw = [list_line, &marks] {
    DrawMasterList(list_line);
    marks.Drawn();
  };
  RunFormScreen(screen);
}

void EventLogScreen() {
  TFormRow size = QsNumberRow("Maximum file size [kB]:", "LogMaxSize");
  size.shown = SwitchedOn("LogEnabled");
  TFormScreen screen = MakeFormScreen("EVENT LOG CONFIGURATION");
  screen.rows = {QsSwitchRow("Enable recording of the event log:", "LogEnabled"), size};
  RunFormScreen(screen);
}

void AliveCheckScreen() {
  TFormScreen screen = MakeFormScreen("ALIVE CHECK CONFIGURATION");
  screen.rows = {
      QsSwitchRow("Enable alive check of the masters:", "AliveEnabled"),
      QsNumberRow("Check frequency [s]:", "AliveFrequency"),
      QsNumberRow("Connection attempts per check:", "AliveRetries"),
      QsNumberRow("TCP/IP port of the masters' alive service:", "AlivePort"),
      QsNumberRow("Time limit of one attempt [s]:", "AliveTimeOut"),
      QsNumberRow("Pause between attempts [s]:", "AliveDelay"),
  };
  for (size_t i = 1; i < screen.rows.size(); ++i) screen.rows[i].shown = SwitchedOn("AliveEnabled");
  RunFormScreen(screen);
}

void ScriptsScreen() {
  TFormScreen screen = MakeFormScreen("SCRIPTS CONFIGURATION");
  const std::vector<std::string>& keys = QsScriptKeys();
  for (size_t i = 0; i < keys.size(); ++i) {
    TFormRow row;
    row.label = kOrders[i].script_label;
    row.kind = TRowKind::kText;
    row.value = [key = keys[i]] { return Config().scripts[key]; };
    row.store = [i, key = keys[i]](const std::string& work) {
      if (!Obey(ScriptEntry(i, work, QsEditor().probes), work)) return false;
      Config().scripts[key] = work;
      return true;
    };
    screen.rows.push_back(row);
  }
  screen.extra_draw = [] {
    const std::vector<std::string>& keys = QsScriptKeys();
    for (size_t i = 0; i < keys.size(); ++i) {
      const std::string& path = Config().scripts[keys[i]];
      const bool warned = ScriptEntry(i, path, QsEditor().probes).verdict != TEntryVerdict::kStore;
      WriteAt(kMarkColumn, 5 + 2 * static_cast<int>(i), warned ? "!" : " ", false, false,
              ErrorColors);
    }
    WriteAt(3, ConsoleUi().FrameHeight - 2, LangText("ScriptLegend", kSection), false, false,
            NormalColors);
  };
  RunFormScreen(screen);
}

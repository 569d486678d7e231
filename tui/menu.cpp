// The menu loop. MenuBox draws and reads the keys; a resize returns from it
// and the loop draws again in the new frame. Nothing here knows a screen: the
// table says what each text opens.
#include "tui/menu.h"

#include "tui/console_ui.h"
#include "tui/crt.h"
#include "tui/ctrls.h"
#include "tui/curses_screen.h"

namespace {

// A mount point (a bind-mounted file) cannot be renamed over.
const char kInPlaceText[] = "Saved in place: the file is a mount point.";

// Shows `entries` until a choice is made; kKeyQuit when the program must end.
int ShowMenu(const std::string& title, const TTextList& entries) {
  for (;;) {
    const int choice = MenuBox(title, 2, ConsoleUi().FrameWidth, 4, MenuHighlightColors,
                               NormalColors, entries, ConsoleUi().FrameHeight);
    if (QuitRequested()) return kKeyQuit;
    if (choice != kKeyResize) return choice;
  }
}

}  // namespace

bool AlwaysLeaves() {
  return true;
}

std::vector<const TMenuEntry*> ShownEntries(const TMenu& menu) {
  std::vector<const TMenuEntry*> shown;
  for (const TMenuEntry& entry : menu.entries) {
    if (entry.shown == nullptr || entry.shown()) shown.push_back(&entry);
  }
  return shown;
}

TTextList MenuTexts(const TMenu& menu) {
  TTextList texts;
  for (const TMenuEntry* entry : ShownEntries(menu)) texts.push_back(entry->text);
  return texts;
}

const TMenuEntry* ChosenEntry(const TMenu& menu, int choice) {
  const std::vector<const TMenuEntry*> shown = ShownEntries(menu);
  if (choice < 1 || choice > static_cast<int>(shown.size())) return nullptr;
  const TMenuEntry* entry = shown[static_cast<size_t>(choice - 1)];
  return entry->text[0] == '\0' ? nullptr : entry;
}

void RunMenu(const TMenu& menu) {
  for (;;) {
    const int choice = ShowMenu(menu.title, MenuTexts(menu));
    if (choice == kKeyQuit) return;
    if (const TMenuEntry* entry = ChosenEntry(menu, choice)) {
      if (entry->open != nullptr) entry->open();
      if (entry->leaves != nullptr && entry->leaves()) return;
    }
    if (QuitRequested()) return;
  }
}

bool SaveAndNotify(const std::string& path, const std::function<int(bool*)>& save,
                   const std::function<bool()>& daemon_runs, const std::string& restart_text) {
  bool in_place = false;
  const int error = save(&in_place);
  if (error != 0) {
    ShowError(FileErrorMessage(SystemErrorText(error), path));
    return false;
  }
  if (in_place) PressAnyKeyBox(kInPlaceText, NoticeColors);
  if (daemon_runs()) PressAnyKeyBox(restart_text, NoticeColors);
  return true;
}

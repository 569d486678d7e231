// A program's menus as tables and the one loop that runs them. A menu is a
// list of entries (its text, the screen it opens, whether choosing it leaves
// the menu, when it is listed); a program gives its tables and the loop
// shows, dispatches and redraws. Entries are plain function pointers, so that
// a test reads a table and checks which screen each text opens.
#ifndef VOLTMON_TUI_MENU_H_
#define VOLTMON_TUI_MENU_H_

#include <functional>
#include <string>
#include <vector>

#include "common/text.h"

struct TMenuEntry {
  const char* text;  // "": a separator, which does nothing
  void (*open)();    // the screen or submenu it opens; nullptr: none
  bool (*leaves)();  // after Open: true ends the menu; nullptr: stays
  bool (*shown)();   // nullptr: always listed
};

struct TMenu {
  std::string title;
  std::vector<TMenuEntry> entries;
};

// For an entry that always ends its menu ("Exit", "Return to Main Menu").
bool AlwaysLeaves();

// The entries listed now, in the table's order, and their texts.
std::vector<const TMenuEntry*> ShownEntries(const TMenu& menu);
TTextList MenuTexts(const TMenu& menu);

// The entry the 1-based `choice` picks among those listed now; nullptr for a
// separator or a choice outside the list.
const TMenuEntry* ChosenEntry(const TMenu& menu, int choice);

// Shows the menu in the frame, runs the chosen entries, until one leaves or
// the program must end (QuitRequested()). The listed entries are read again
// on every pass, so a screen may change what the menu offers.
void RunMenu(const TMenu& menu);

// The save of "Save and Exit": `save` returns 0 or the error number and sets
// whether it wrote in place (see ReplaceFile). A failure is shown with the
// system's text and `path`, and false returned so that the menu stays; else
// the in-place notice, and `restart_text` when `daemon_runs` says so.
bool SaveAndNotify(const std::string& path, const std::function<int(bool*)>& save,
                   const std::function<bool()>& daemon_runs, const std::string& restart_text);

#endif  // VOLTMON_TUI_MENU_H_

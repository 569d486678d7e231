// What every screen of the console shares: the colour palette, the frame
// geometry that follows the terminal's size, the yes/no and action lists,
// and the error box.
#ifndef VOLTMON_TUI_CONSOLE_UI_H_
#define VOLTMON_TUI_CONSOLE_UI_H_

#include <functional>
#include <string>

#include "common/session_lock.h"
#include "common/text.h"
#include "tui/colors.h"

constexpr TColors NormalColors = MakeColors(15, 4);
constexpr TColors MenuHighlightColors = MakeColors(0, 7);
constexpr TColors ChoiceLabelColors = MakeColors(15, 4);
constexpr TColors FieldColors = MakeColors(15, 0);
constexpr TColors ListNormalColors = MakeColors(0, 15);
constexpr TColors ListHighlightColors = MakeColors(15, 1);
constexpr TColors NoticeColors = MakeColors(15, 3);
constexpr TColors ErrorColors = MakeColors(15, 1);
constexpr TColors DimmedColors = MakeColors(11, 4);
constexpr TColors ButtonFocusColors = MakeColors(1, 7);
constexpr TColors SuccessColors = MakeColors(15, 2);

struct TConsoleUi {
  int FrameWidth = 0;      // screen width - 4
  int FrameHeight = 0;     // screen height - 2
  int FieldAreaWidth = 0;  // FrameWidth - 4
  TTextList YesNoList;     // "Yes  ", "No  "
  TTextList ActionsList;   // section "ACTIONS", keys "0" to Count - 1
};

// The process-wide lists and geometry of the screens.
TConsoleUi& ConsoleUi();

// Recomputes FrameWidth, FrameHeight and FieldAreaWidth from the screen
// layer's current size; called at start and after every resize.
void ComputeFrame();

// Fills YesNoList and ActionsList (from the current language file; an empty
// list when "Count" is missing or not a number) and computes the frame.
void InitConsoleUi();

// PressAnyKeyBox(message, ErrorColors).
void ShowError(const std::string& message);

// The text of an error number (FileErrorText), as a failed save shows it.
std::string SystemErrorText(int error);

// An error box's text for `reason` about the file `path`: the reason first, so
// that it stays whole on the box's first row, then the file.
std::string FileErrorMessage(const std::string& reason, const std::string& path);

// The invalid-setup line between blank lines: a start-up check failed.
void PrintSetupFailure();

// Locks the settings file `path` for the whole session. False, after the
// line "IDENT: PATH is open in another configuration console; ...", when
// another session holds it; true otherwise (also when no lock can be had).
bool LockForSession(const std::string& ident, const std::string& path, TSessionLock* lock);

// The screen's life around `body`: starts curses, the lists and the frame
// (kept in step with resizes), runs `body`, then ends curses and clears the
// terminal. When the screen cannot start, `body` is not run and nothing is
// cleared (InitScreen has said why).
void RunConsole(const std::function<void()>& body);

// The clean end's clear: the "clear" program when it can run; otherwise (it
// is looked for in the current directory only) the terminal's own sequence.
void ClearAtEnd();

#endif  // VOLTMON_TUI_CONSOLE_UI_H_

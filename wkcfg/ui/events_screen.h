// The events screen's job chooser and job dialog (the screen itself,
// EventsScreen, is declared with the other screens in screens.h).
#ifndef VOLTMON_WKCFG_UI_EVENTS_SCREEN_H_
#define VOLTMON_WKCFG_UI_EVENTS_SCREEN_H_

#include <string>

// Offers ActionsList; true with the index of the action chosen with ENTER,
// false with -1 on ESC (or when the program must end, or the list is empty).
bool ChooseJobType(int* action);

// The dialog for a new (is_new) or stored job of `action`. True when the job
// text in `job` was built or rebuilt and must be stored; false leaves `job`
// as it was. "$POPUP", "$LOG" and "$SHUTDOWN" have no dialog (an edit shows
// that they have no parameters), "$MSLOG" and unknown actions give false at
// once.
bool EditJobDialog(std::string* job, int action, bool is_new);

#endif  // VOLTMON_WKCFG_UI_EVENTS_SCREEN_H_

// The configuration program's life: the command line, the start-up checks
// and loads, the main menu, the save on "Save and Exit", and the check of a
// settings file without any screen.
#ifndef VOLTMON_QSCFG_FLOW_H_
#define VOLTMON_QSCFG_FLOW_H_

#include <string>

#include "common/text.h"
#include "qscfg/screens.h"
#include "tui/menu.h"

// The main menu: the five screens, a separator, "Save and Exit" and "Exit".
const TMenu& QsMenuTable();

// The main menu's "Save and Exit": true when saved; a failure is shown with
// the system's text.
bool SaveQsAndNotify();

// After the root check: the install root from `program_dir`, the language
// file, and "bin/qslx.cfg" (a missing file reads as empty). False when any
// of them cannot be had: the caller prints the invalid-setup line (after
// the file's own line with the reason, for a "bin/qslx.cfg" there but
// unreadable).
bool LoadQsEditor(const std::string& program_dir, TQsEditor* editor);

// Writes the edited settings over the file's document, every line it does
// not change kept; 0, or the error number of the failed save (the file is
// then untouched). `in_place`: see ReplaceFile.
int SaveQsEditor(TQsEditor* editor, bool* in_place = nullptr);

// The check of `path`: each finding printed as "qscfg: KEY: text" on
// standard output. 0 when sound, 1 otherwise (also when the file is missing
// or unreadable).
int CheckQsFile(const std::string& path, const TQsProbes& probes);

// The whole program; see the usage text ("qscfg -h").
int QsConfigMain(int argc, char** argv);

#endif  // VOLTMON_QSCFG_FLOW_H_

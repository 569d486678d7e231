// The suite settings file "bin/voltmon.cfg" and the start-up resolution of
// the installation directory and language file shared by the programs.
#ifndef VOLTMON_COMMON_SETTINGS_H_
#define VOLTMON_COMMON_SETTINGS_H_

#include <string>

// "InstallPath" of section "Globals" in `program_dir` + "voltmon.cfg"; the
// empty text when missing or unreadable. `program_dir` ends with "/".
std::string GetInstallPath(const std::string& program_dir);

// "LanguageFile" of section "Globals" in `install_path` + "bin/voltmon.cfg"
// when `install_path` + "languages/" + that name exists; otherwise "".
std::string GetLanguageFile(const std::string& install_path);

// The directory of the running program with trailing "/", from
// "/proc/self/exe", falling back to the directory part of `argv0`.
std::string ProgramDirectory(const char* argv0);

// Resolves the installation directory and the full language file path for a
// program in `program_dir`. False when either is missing (invalid setup);
// `install_path` is still set when only the language file is missing.
bool ResolveSuiteSettings(const std::string& program_dir, std::string* install_path,
                          std::string* language_file);

#endif  // VOLTMON_COMMON_SETTINGS_H_

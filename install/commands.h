// The shell command lines the installer composes and runs with system(3).
#ifndef VOLTMON_INSTALL_COMMANDS_H_
#define VOLTMON_INSTALL_COMMANDS_H_

#include <string>

// The path as one shell word: unchanged when it holds only characters the
// shell takes literally, otherwise between single quotes (a quote inside
// written as '\''). The empty path becomes ''.
std::string ShellQuote(const std::string& path);

// "cp -f SOURCE DESTINATION > /dev/null".
std::string CopyCommand(const std::string& source, const std::string& destination);

// "chown root:0 PATH && chmod MODE PATH > /dev/null" with MODE 770 for the
// letter "e", 660 for "w" and 440 for anything else (case-sensitive).
std::string PermissionCommand(const std::string& mode_letter, const std::string& path);

// "ln -s -f TARGET LINK > /dev/null".
std::string LinkCommand(const std::string& target, const std::string& link);

// "more PATH; sleep 1 2> /dev/null": pages a text, then pauses a second.
// Unless `input_is_terminal`, the pager reads "/dev/null" instead of the
// installer's input: given a pipe, it would page the answers still waiting
// there as a second text and swallow them.
std::string PagerCommand(const std::string& path, bool input_is_terminal);

#endif  // VOLTMON_INSTALL_COMMANDS_H_

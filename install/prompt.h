// The installer's questions and answers on the terminal.
#ifndef VOLTMON_INSTALL_PROMPT_H_
#define VOLTMON_INSTALL_PROMPT_H_

#include <optional>
#include <stdexcept>
#include <string>

// Thrown to end the installation after its abort message has been printed;
// the program's entry catches it and ends with status 0.
class TInstallAborted : public std::runtime_error {
 public:
  TInstallAborted() : std::runtime_error("installation aborted") {}
};

// true for exactly "Y" or "y", false for exactly "N" or "n", nullopt for any
// other answer (blanks around the letter included).
std::optional<bool> ParseYesNo(const std::string& answer);

// The 1-based number of the chosen entry when `answer` is a whole decimal
// number from 1 to `count`; 0 otherwise.
int ParseSelection(const std::string& answer, int count);

// (width - length) / 2 blanks when that is positive, then the text.
std::string CenteredText(const std::string& text, int width);

// Reads one line from file descriptor `fd` without reading past its line
// feed, so that programs started later find the rest of the input. The line
// feed is not stored. False at end of input (a last line without line feed
// still counts as a line) or on a read error.
bool ReadAnswerLine(int fd, std::string* line);

// Writes the text to standard output without ending the line and flushes.
void WriteText(const std::string& text);

// Writes the text and ends the line.
void WriteLine(const std::string& text);

// Writes "QUESTION [y/n] ?: ", reads an answer from standard input and asks
// again after "Wrong choice !" until it is a single y/Y/n/N. End of input
// aborts the installation.
bool AskYesNo(const std::string& question);

// Reads an answer from standard input; end of input aborts the installation.
std::string ReadAnswerOrAbort();

// An empty line, the alert, an empty line.
void ShowInstallError(const std::string& text);

// Alerts TEXT + "  Installation aborted." (only "Installation aborted." for
// an empty text), writes an empty line and throws TInstallAborted.
[[noreturn]] void AbortInstall(const std::string& text = "");

#endif  // VOLTMON_INSTALL_PROMPT_H_

// Starting the action scripts of orders and failed alive checks.
#ifndef VOLTMON_QSLX_SCRIPTS_H_
#define VOLTMON_QSLX_SCRIPTS_H_

#include <functional>
#include <string>

// Starts a program with one argument; a seam so that tests start nothing.
using TQsProgramStarter = std::function<void(const std::string& path, const std::string& argument)>;

// Starts `path` in the background with `argument` as its single argument,
// without a shell and without waiting; the SIGCHLD handler reaps it. An empty
// path starts nothing.
void StartScript(const std::string& path, const std::string& argument);

#endif  // VOLTMON_QSLX_SCRIPTS_H_

// The "fire" and "events" modes of qsmaster: the master's configuration read
// as the console reads it, the event names in the installation's language,
// and for "fire" the remote jobs' orders given to their slaves in order.
#ifndef VOLTMON_TOOLS_FIRE_H_
#define VOLTMON_TOOLS_FIRE_H_

#include <string>

#include "tools/qsmaster_args.h"

// Rehearses `fire.event_code`; prints the plan and each order's outcome on
// standard output. The exit status: 0 every order accepted, 1 an order
// refused or undelivered or the rehearsal not confirmed, 2 any other error.
// `program_dir` is qsmaster's own directory with trailing "/".
int RunFire(const TMasterFire& fire, const std::string& program_dir);

// Lists the configured events with their names and jobs; 0, or 2 when the
// configuration cannot be read.
int RunEvents(const TMasterFire& events, const std::string& program_dir);

#endif  // VOLTMON_TOOLS_FIRE_H_

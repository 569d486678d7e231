// The master server's program: its command line, the configuration check,
// and the life of the detached server (start, the poll loop, the stop).
#ifndef VOLTMON_WKSRV_SERVER_H_
#define VOLTMON_WKSRV_SERVER_H_

#include <functional>
#include <memory>

#include "wksrv/master_settings.h"
#include "wksrv/ups_link.h"

enum class TWksrvRequest { kVersion, kCredits, kStop, kHelp, kCheck, kStart };

// The request of the first argument, compared case-sensitively: "-v", "-cr",
// "-s", "-h" or "--help", "--check"; anything else, or none, starts the
// server.
TWksrvRequest ParseWksrvCommandLine(int argc, const char* const* argv);

// Opens the UPS the master settings name (the program's NUT client).
using TUpsOpener = std::function<std::unique_ptr<TUpsLink>(const TMasterSettings&)>;

// The whole program. 0, except for "--check", which gives 1 when it found a
// problem (or could not look).
int WksrvMain(int argc, char** argv, const TUpsOpener& open_ups);

#endif  // VOLTMON_WKSRV_SERVER_H_

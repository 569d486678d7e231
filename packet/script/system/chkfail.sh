#!/bin/sh
# Run by the QS System daemon when at least one master server failed the
# alive check (the failed masters are named in data/qs_log.txt). Adapt it,
# for example to shut down on your own when no master can protect you.
text="A UPS master server did not answer the alive check: this computer may no longer be protected."
logger -t qslx -p daemon.warning "$text" 2>/dev/null
printf '%s\n' "$text" | wall

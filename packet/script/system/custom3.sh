#!/bin/sh
# Example for custom order 3 of a master server: put here what this
# computer is to do, for example stop a database before the power goes.
# Its one argument is empty.
logger -t qslx "Custom order 3 received from the master server" 2>/dev/null
exit 0

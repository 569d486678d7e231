#!/bin/sh
# Run by the QS System daemon when a master server orders this computer to
# shut down. Its one argument is empty.
logger -t qslx "Shutdown ordered by the master server" 2>/dev/null
exec shutdown -h now

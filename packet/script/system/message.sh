#!/bin/sh
# Run by the QS System daemon when a master server sends a message; the one
# argument is the text between double quotes. Shows it to the logged-in users.
text=${1#\"}
text=${text%\"}
printf 'Message from the UPS master server:\n%s\n' "$text" | wall

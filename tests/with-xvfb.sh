#!/bin/bash
# Runs a command on a private X server of its own.
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"

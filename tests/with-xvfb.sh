#!/bin/bash
# Runs a test on a private X server of its own.
here=$(cd "$(dirname "$0")" && pwd)
export KESTRUN_GUI_TEST=1
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$here/run-test.sh" "$@"

#!/bin/bash
# Runs one test with the environment every test gets: sanitizer settings, the
# source tree for fixtures, and for tests that start GTK the suppressions of the
# allocations GTK, GLib and fontconfig keep until exit by design.
here=$(cd "$(dirname "$0")" && pwd)
export KESTRUN_SOURCE_DIR=${KESTRUN_SOURCE_DIR:-$(dirname "$here")}
export NO_AT_BRIDGE=1
# Tests bring their own private session bus when they need one, never the user's.
unset DBUS_SESSION_BUS_ADDRESS
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
if [[ ${KESTRUN_GUI_TEST:-0} == 1 ]]; then
    export LSAN_OPTIONS=suppressions=$here/lsan-gui.supp:print_suppressions=0
fi
exec "$@"

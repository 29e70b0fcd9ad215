#!/bin/bash
# The window keeps the GL stack out of its process. On a display where no GTK
# program has chosen its visuals yet, GDK's X11 backend would load Mesa's
# software rasteriser and LLVM to do it, though no window of ours draws with
# GL; a user who sets GDK_GL keeps the choice.
source "$(dirname "$0")/lib.sh"
start_x wm

gl_stack() { { grep -E 'libLLVM|_dri\.so|libGLX_mesa|libGL\.so|libEGL_mesa' "/proc/$1/maps" || true; } | awk '{print $6}' | sort -u; }

xprop -root GDK_VISUALS 2>/dev/null | grep -q '=' && fail "the display already holds visuals GDK chose with GL"
export KESTRUN_PLATFORM=sim
start_kestrun first
wait_window --onlyvisible >/dev/null || { cat "$WORK/first.log" >&2; fail "no window"; }
sleep 1
loaded=$(gl_stack "$first_PID")
[[ -z $loaded ]] || fail "the window loaded the GL stack: $loaded"
echo "ok: no GL library in the window's process"
kill "$first_PID"
wait "$first_PID" 2>/dev/null || true

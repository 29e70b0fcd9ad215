#!/bin/bash
# What desktops expect of an installed program: a desktop entry that validates,
# with the keywords people search for and the class of the program's window
# (so docks match the window to its launcher), and AppStream metadata that
# validates, with and without its screenshot.
source "$(dirname "$0")/lib.sh"
source_dir=${KESTRUN_SOURCE_DIR:?}
binary_dir=${KESTRUN_BINARY_DIR:?}
entry=$source_dir/resources/kestrun.desktop

desktop-file-validate "$entry" || fail "the desktop entry does not validate"
keywords=$(sed -n 's/^Keywords=//p' "$entry")
for word in "task manager" process monitor services network; do
    [[ ";$keywords" == *";$word;"* ]] || fail "the desktop entry's Keywords lack '$word': $keywords"
done

metainfo=$binary_dir/org.kestrun.Kestrun.metainfo.xml
[[ -f $metainfo ]] || fail "the build made no $metainfo"
appstreamcli validate --no-net "$metainfo" || fail "the AppStream metadata does not validate"
sed 's|@KESTRUN_APPSTREAM_ID@|org.kestrun.Kestrun|; s|@KESTRUN_SCREENSHOT_URL@|https://kestrun.test/screenshot.png|' \
    "$source_dir/resources/kestrun.metainfo.xml.in" >"$WORK/with-screenshot.metainfo.xml"
appstreamcli validate --no-net "$WORK/with-screenshot.metainfo.xml" || fail "the metadata with a screenshot does not validate"
grep -q '<launchable type="desktop-id">kestrun.desktop</launchable>' "$metainfo" || fail "the metadata names another launcher"

# The window's class is the one the entry names.
start_x bare
export KESTRUN_PLATFORM=sim
start_kestrun app
id=$(wait_window --onlyvisible) || { cat "$WORK/app.log" >&2; fail "no window"; }
wm_class=$(xprop -id "$id" WM_CLASS)
instance=$(sed -n 's/^WM_CLASS(STRING) = "\([^"]*\)", "\([^"]*\)"$/\1/p' <<<"$wm_class")
class=$(sed -n 's/^WM_CLASS(STRING) = "\([^"]*\)", "\([^"]*\)"$/\2/p' <<<"$wm_class")
[[ $instance == kestrun ]] || fail "the window's WM_CLASS is $wm_class"
[[ $(sed -n 's/^StartupWMClass=//p' "$entry") == "$class" ]] || fail "StartupWMClass does not name the window's class ($wm_class)"
echo "ok: desktop entry, AppStream metadata and window class agree"

#!/bin/sh
# Runs the desktop tests on a virtual X display under the openbox window manager, as a person's
# desktop would show the windows.
#   tests/desktop/run-under-openbox.sh DESKTOP_TESTS [GTEST_ARGS...]
set -eu
exec xvfb-run -a -s "-screen 0 1366x768x24" sh -c '
    openbox --sm-disable >/dev/null 2>&1 &
    wm=$!
    # The window manager owns the screen before the first window maps.
    for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break; sleep 0.1; done
    QT_QPA_PLATFORM=xcb "$@"; status=$?
    kill $wm
    exit $status' sh "$@"

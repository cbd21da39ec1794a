#!/bin/sh
# Runs the desktop tests on a virtual X display under the openbox window manager, as a person's
# desktop would show the windows.
#   tests/desktop/run-under-openbox.sh DESKTOP_TESTS [GTEST_ARGS...]
set -eu
exec xvfb-run -a -s "-screen 0 1366x768x24" sh -c '
    # The window manager must own the screen before the first window maps. On a busy machine
    # openbox now and then finds the new display not yet open to it and quits: it is started
    # again, and without it the tests do not run at all, since they would test nothing.
    wm=""
    for _ in $(seq 300); do
        if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then break; fi
        if [ -z "$wm" ] || ! kill -0 "$wm" 2>/dev/null; then
            openbox --sm-disable >/dev/null 2>&1 &
            wm=$!
        fi
        sleep 0.1
    done
    if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
        echo "openbox did not take the display" >&2
        exit 1
    fi
    status=0
    QT_QPA_PLATFORM=xcb "$@" || status=$?
    kill "$wm"
    exit $status' sh "$@"

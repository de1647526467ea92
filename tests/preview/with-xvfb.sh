#!/bin/sh
# Runs a window test program on a private X server (xvfb-run -a) with the
# xcb platform, so that real input from xdotool reaches its windows. When
# xvfb-run or xdotool is missing the program still runs, is told why, and
# skips its tests.
missing=
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
  QB_REAL_INPUT_MISSING="not installed:$missing" QT_QPA_PLATFORM=offscreen exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$@"

#!/usr/bin/env bash
# Builds the Linux program and runs it on the bundled page. With no display it
# runs under Xvfb, saves a screenshot of what it shows to build/demo.png and
# closes it.
#   scripts/demo.sh [arguments for vistrel]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build/linux -G Ninja -DVISTREL_TESTS=OFF -DVISTREL_PROGRAM=ON >/dev/null
ninja -C build/linux vistrel

if [ $# -eq 0 ]; then
  set -- Welcome examples/welcome.html
fi
# Without compositing the engine draws into an X server that has no GPU.
export WEBKIT_DISABLE_COMPOSITING_MODE=${WEBKIT_DISABLE_COMPOSITING_MODE:-1}

if [ -n "${DISPLAY:-}" ]; then
  exec build/linux/vistrel "$@"
fi

n=99
while [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=":$n"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done

# A scratch folder of the demo's own, gone with it.
scratch=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$scratch"' EXIT
TMPDIR=$scratch build/linux/vistrel "$@" &
program=$!
window=
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --pid "$program" 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done

if [ -z "$window" ]; then
  status=0
  wait "$program" || status=$?
  echo "demo: vistrel ended with exit code $status without showing a window"
  exit 0
fi
sleep 3  # let the page load and paint
import -window root build/demo.png
echo "demo: screenshot of what vistrel shows saved to $PWD/build/demo.png"
kill -TERM "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true

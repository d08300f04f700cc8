#!/usr/bin/env bash
# Builds the Linux program and the benchmark's floor program (incrementally),
# then runs the benchmark under a private Xvfb and writes bench/results.md.
#   bench/run.sh [--rounds N] [--saves N] [--idle SECONDS] [--settle SECONDS] [--out FILE]
#                [--variant LABEL=PROGRAM]... (bench/README.md says more)
set -euo pipefail
cd "$(dirname "$0")/.."

# The program as README.md builds it; only its target, not the tests.
[ -f build/linux/CMakeCache.txt ] || cmake -S . -B build/linux -G Ninja >/dev/null
ninja -C build/linux vistrel >/dev/null
[ -f build/bench/CMakeCache.txt ] || cmake -S bench -B build/bench -G Ninja >/dev/null
ninja -C build/bench >/dev/null

# The system Python, with the Debian packages install-deps.sh puts there.
exec /usr/bin/python3 bench/bench.py --vistrel build/linux/vistrel --floor build/bench/vistrel-bench-floor "$@"

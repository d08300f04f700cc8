#!/usr/bin/env bash
# Builds the Linux and Windows programs and makes their packages in build/dist:
# vistrel_VERSION_amd64.deb and vistrel-VERSION-windows-x64.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
jobs=${JOBS:-2}
cmake -S . -B build/linux -G Ninja >/dev/null
ninja -C build/linux -j "$jobs" vistrel vistrel_icons vistrel_manual
(cd build/linux && cpack)
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
ninja -C build/windows -j "$jobs" vistrel
(cd build/windows && cpack)
ls -l build/dist/vistrel_*.deb build/dist/vistrel-*.zip

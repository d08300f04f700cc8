#!/usr/bin/env bash
# Installs everything, builds the Linux and Windows programs and runs every
# test: unit tests (also under ASan/UBSan), the fuzzers for a short while, and
# the end-to-end tests of both programs under Xvfb (the Windows one in Wine).
# Ends with one line per suite and a last line "N passed, M failed".
# The Windows program's web view is built against the WebView2 SDK, which the
# build restores from NuGet with the .NET SDK's dotnet. Without dotnet the
# Windows program is built without it (every other Windows test still runs);
# with VISTREL_REQUIRE_WEBVIEW2_SDK=1 (as CI sets it) that also counts as a failure.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-30}

scripts/install-deps.sh all || { echo "test: installing the dependencies failed"; exit 1; }

passed=0
failed=0
report=()

# record NAME PASSED FAILED
record() {
  passed=$((passed + $2))
  failed=$((failed + $3))
  report+=("$1: $2 passed, $3 failed")
}

# A suite whose output ends in "N passed, M failed" (the end-to-end runners).
run_counted() {
  local name=$1 log=build/logs/$1.log
  shift
  echo "== $name"
  "$@" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local line
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    local p=${line%% passed*} f=${line#*, }
    f=${f%% failed*}
    [ "$status" -ne 0 ] && [ "$f" -eq 0 ] && f=1
    record "$name" "$p" "$f"
  else
    record "$name" 0 1
  fi
}

# Unit tests through ctest: "100% tests passed, 0 tests failed out of 32".
run_ctest() {
  local name=$1 dir=$2 log=build/logs/$1.log
  echo "== $name"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" 2>&1 | tee "$log"
  local line total f
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    total=${line##* out of }
    f=${line#*passed, }
    f=${f%% tests failed*}
    record "$name" $((total - f)) "$f"
  else
    record "$name" 0 1
  fi
}

# configure_and_build NAME DIR [cmake options...]; compilers come from the environment.
build() {
  local name=$1 dir=$2
  shift 2
  echo "== build $name"
  if cmake -S . -B "$dir" -G Ninja "$@" >"build/logs/configure-$name.log" 2>&1 &&
    ninja -C "$dir" -j "$jobs"; then
    return 0
  fi
  cat "build/logs/configure-$name.log"
  record "build $name" 0 1
  return 1
}

mkdir -p build/logs

if build linux build/linux -DVISTREL_TESTS=ON -DVISTREL_PROGRAM=ON; then
  run_ctest unit build/linux
fi

if CXX=clang++ build sanitizers build/sanitizers -DVISTREL_SANITIZE=ON -DVISTREL_PROGRAM=OFF; then
  run_ctest unit-asan-ubsan build/sanitizers
fi

if CXX=clang++ build fuzz build/fuzz -DVISTREL_FUZZ=ON -DVISTREL_PROGRAM=OFF -DVISTREL_TESTS=OFF; then
  fuzz_passed=0
  fuzz_failed=0
  for corpus in tests/fuzz/corpus/*/; do
    target=$(basename "$corpus")
    echo "== fuzz $target for ${fuzz_seconds}s"
    work=build/fuzz/corpus/$target
    mkdir -p "$work"
    if build/fuzz/fuzz_"$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 \
      -artifact_prefix=build/fuzz/ "$work" "$corpus" >"build/logs/fuzz-$target.log" 2>&1; then
      fuzz_passed=$((fuzz_passed + 1))
    else
      tail -n 30 "build/logs/fuzz-$target.log"
      fuzz_failed=$((fuzz_failed + 1))
    fi
  done
  record fuzz "$fuzz_passed" "$fuzz_failed"
fi

windows_sdk=ON
if ! command -v dotnet >/dev/null 2>&1; then
  windows_sdk=OFF
  echo "test: dotnet (the .NET SDK) is not installed, so the Windows program is built without the WebView2 SDK:"
  echo "test: it has no web view and no release folder. Install the .NET SDK to build and test those too."
  if [ "${VISTREL_REQUIRE_WEBVIEW2_SDK:-0}" = 1 ]; then
    record "windows web view (dotnet missing)" 0 1
  fi
fi
windows_ok=0
build windows build/windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DVISTREL_PROGRAM=ON \
  -DVISTREL_WEBVIEW2_SDK="$windows_sdk" && windows_ok=1

# One X server for every end-to-end suite when there is no display.
xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >build/logs/xvfb.log 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    break
  done
fi
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null' EXIT

# The packages a user installs, made from the builds above and checked as Debian's tools see them.
rm -f build/dist/vistrel_*.deb build/dist/vistrel-*.zip
[ -x build/linux/vistrel ] && (cd build/linux && cpack >../logs/cpack-linux.log 2>&1)
[ "$windows_ok" = 1 ] && [ "$windows_sdk" = ON ] && (cd build/windows && cpack >../logs/cpack-windows.log 2>&1)
if [ "$windows_sdk" = ON ]; then
  run_counted packages tests/packages/check_packages.sh build/dist
else
  run_counted packages tests/packages/check_packages.sh build/dist deb
fi

if [ -x build/linux/vistrel ]; then
  run_counted e2e-linux /usr/bin/python3 tests/e2e/linux/run_tests.py --exe build/linux/vistrel
else
  record e2e-linux 0 1
fi
if [ "$windows_ok" = 1 ] && [ "$windows_sdk" = ON ]; then
  # The program as the zip hands it to a user, with the SDK's loader beside it.
  rm -rf build/windows/unpacked && mkdir -p build/windows/unpacked
  exe=build/windows/release/vistrel.exe
  zip=$(ls build/dist/vistrel-*-windows-x64.zip 2>/dev/null | tail -n 1)
  [ -n "$zip" ] && unzip -q "$zip" -d build/windows/unpacked && exe=$(ls build/windows/unpacked/*/vistrel.exe)
  run_counted e2e-windows /usr/bin/python3 tests/e2e/wine/run_tests.py --exe "$exe" --release \
    --driver build/windows/vistrel-test-driver.exe --prefix "$root/build/wine"
elif [ "$windows_ok" = 1 ]; then
  echo "test: without the WebView2 SDK there is no stand-in runtime to run the Windows program against."
fi

# Tests are held to a share of the code: everything that exists only to test lives in tests/.
count_lines() { find "$1" -type f -not -path '*/corpus/*' -print0 | xargs -0 cat | wc -l; }
src_lines=$(count_lines src)
test_lines=$(count_lines tests)

echo
echo "== summary"
for line in "${report[@]}"; do echo "$line"; done
echo "tests: $test_lines lines = $((100 * test_lines / src_lines)) % of src $src_lines lines"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

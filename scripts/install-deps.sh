#!/usr/bin/env bash
# Installs what vistrel needs on Debian 12, as root (or through sudo).
#   install-deps.sh run   what building and running the Linux program needs
#   install-deps.sh all   everything: both builds and every test
# Packages already present are not fetched again, so a second run is quick.
set -euo pipefail

what=${1:-all}
run_packages=(cmake ninja-build pkg-config g++ dpkg-dev libgtk-3-dev libwebkit2gtk-4.1-dev
  scdoc librsvg2-bin icoutils
  xvfb xauth xdotool x11-utils imagemagick fonts-ipafont-gothic)
test_packages=(clang libclang-rt-14-dev libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64-posix wine wine64
  at-spi2-core python3-pyatspi python3-gi python3-xlib python3-psutil dbus-x11 locales
  lintian desktop-file-utils weston man-db unzip)

packages=("${run_packages[@]}")
[ "$what" = all ] && packages+=("${test_packages[@]}")

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ "$what" = all ]; then
  # The end-to-end tests show every box in English and in Japanese.
  for l in en_US ja_JP; do
    locale -a 2>/dev/null | grep -qix "$l.utf8" || as_root localedef -i "$l" -f UTF-8 "$l.UTF-8"
  done
fi

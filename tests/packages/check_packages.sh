#!/usr/bin/env bash
# Checks the packages in build/dist as a user and Debian's tools see them.
# With "deb" after the folder, only the Debian package (a build without the
# Windows program's web view makes no zip). Ends with "N passed, M failed".
set -uo pipefail
dist=${1:-build/dist}
which=${2:-all}
passed=0
failed=0
check() {  # check NAME COMMAND...: passes when the command does
  local name=$1
  shift
  if out=$("$@" 2>&1); then
    passed=$((passed + 1))
    echo "ok   $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    printf '%s\n' "$out" | sed 's/^/     /' | tail -n 20
  fi
}

deb=$(ls "$dist"/vistrel_*_amd64.deb 2>/dev/null | tail -n 1)
zip=$(ls "$dist"/vistrel-*-windows-x64.zip 2>/dev/null | tail -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check "a Debian package is there" test -f "$deb"
check "lintian finds no error" lintian --fail-on error "$deb"
# As root (as CI runs) the package is installed for real, asked for its version, and removed again.
installed() {
  apt-get install -y -qq "$(realpath "$deb")" >/dev/null &&
    /usr/bin/vistrel --version | grep -qx 'vistrel [0-9.]*' &&
    env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/vistrel /ver 2>&1 | grep -q '^vistrel:  vistrel [0-9.]* 64bit - ' &&
    # the web process module lies where the program looks for it: ../lib/vistrel from its own folder
    test -f /usr/bin/../lib/vistrel/vistrel-web-process.so
  local ok=$?
  apt-get remove -y -qq vistrel >/dev/null
  return $ok
}
if [ "$(id -u)" = 0 ]; then
  check "apt installs it with its dependencies and its web process module, and it answers" installed
else
  check "its dependencies resolve" apt-get install --simulate --quiet "$(realpath "$deb")"
fi
check "it depends on WebKitGTK 4.1 and GTK 3" sh -c "dpkg-deb -f '$deb' Depends | grep -q 'libwebkit2gtk-4.1-0' &&
  dpkg-deb -f '$deb' Depends | grep -q 'libgtk-3-0'"
dpkg-deb -x "$deb" "$work/root" 2>/dev/null
check "the desktop entry is valid" desktop-file-validate "$work/root/usr/share/applications/vistrel.desktop"
check "the icon is there in every size" sh -c "for s in 16 24 32 48 64 128 256; do
  test -s '$work/root/usr/share/icons/hicolor/'\$s'x'\$s'/apps/vistrel.png' || exit 1; done
  test -s '$work/root/usr/share/icons/hicolor/scalable/apps/vistrel.svg'"
check "--version answers" sh -c "'$work/root/usr/bin/vistrel' --version | grep -qx 'vistrel [0-9]*\.[0-9]*'"

# The manual page and the program's own list of options must agree: the
# synopsis word for word, and every switch and letter of the list.
manual() { MANWIDTH=400 man -l "$work/root/usr/share/man/man1/vistrel.1.gz" 2>/dev/null; }
agree() {
  local usage synopsis page switch missing=
  usage=$(LANG=C.UTF-8 "$work/root/usr/bin/vistrel" --help) || return 1
  page=$(manual) || return 1
  synopsis=$(sed -n 3p <<<"$usage")
  [[ $synopsis == "vistrel ["* ]] || { echo "no synopsis in --help: $usage"; return 1; }
  grep -qF -- "$synopsis" <<<"$page" || { echo "synopsis not in the manual: $synopsis"; return 1; }
  # Each switch has an entry of its own among the options.
  local entries last=
  entries=$(grep -E '^ {7}(/|--)' <<<"$page")
  while read -r word _; do
    case $word in
      /*) switch=$word last=$word ;;
      ?) switch=$last$word ;;
      *) continue ;;
    esac
    grep -qE -- "(^| )${switch//\?/\\?}([ ,:]|$)" <<<"$entries" || missing+=" $switch"
  done < <(tail -n +4 <<<"$usage")
  [ -z "$missing" ] || { echo "switches not in the manual:$missing"; return 1; }
}
check "the manual page agrees with --help" agree

if [ "$which" = deb ]; then
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
fi
check "a Windows zip is there" test -f "$zip"
check "the zip holds the program, the loader, the licences and a read-me" sh -c "
  unzip -Z1 '$zip' | sed 's|^[^/]*/||' | sort | tr '\n' ' ' |
  grep -qx 'LICENSE.txt README.txt WebView2Loader-LICENSE.txt WebView2Loader.dll vistrel.exe '"
check "the program in the zip has an icon" sh -c "unzip -p '$zip' '*/vistrel.exe' > '$work/vistrel.exe' &&
  wrestool --list --type=14 '$work/vistrel.exe' | grep -q ."

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

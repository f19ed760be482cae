#!/usr/bin/env bash
# Checks of what the desktop and Debian get: the desktop entry and metainfo, the package's
# contents and dependencies, and the packaged program starting from a scratch root.
#
#   check_package.sh entry    <desktop file>
#   check_package.sh metainfo <metainfo file> <project version>
#   check_package.sh build    <build dir> <package dir> [cpack]
#   check_package.sh contents <package dir> <app id> <version> <source dir>
#   check_package.sh starts   <package dir> <scratch dir>
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

the_package() {
  local debs=("$1"/*.deb)
  [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in $1, found: ${debs[*]}"
  echo "${debs[0]}"
}

# The QML modules the screens import (our own Mavu modules aside), one a line.
qml_imports() {
  grep -rhoE '^[[:space:]]*import[[:space:]]+[A-Z][A-Za-z0-9_.]*' --include='*.qml' "$1/src" \
    | awk '{print $2}' | grep -vE '^Mavu(\.|$)' | sort -u
}

# A module's Debian package is named after its URI ("QtQuick.Controls.Basic" lives in
# qml6-module-qtquick-controls): the dependencies must hold the name of the URI or of one of its
# parents.
import_is_packaged() {
  local uri="$1" depends="$2" name
  name="qml6-module-$(echo "$uri" | tr 'A-Z.' 'a-z-')"
  while [ -n "$name" ]; do
    grep -qxF "$name" <<<"$depends" && return 0
    [[ "$name" == *-*-* ]] || break
    name="${name%-*}"
  done
  return 1
}

case "$1" in
entry)
  desktop-file-validate "$2"
  grep -qx 'Categories=AudioVideo;Video;Player;TV;' "$2" || fail "categories"
  ;;

metainfo)
  appstreamcli validate --no-net "$2"
  # The newest release listed is the one being built.
  newest=$(grep -oE '<release [^>]*version="[^"]+"' "$2" | head -1 | sed -E 's/.*version="([^"]+)".*/\1/')
  [ "$newest" = "$3" ] || fail "newest release in the metainfo is '$newest', the project is $3: add a release entry"
  ;;

build)
  rm -rf "$3"
  "${4:-cpack}" -G DEB -B "$3" --config "$2/CPackConfig.cmake" >"$3.log" 2>&1 || { cat "$3.log"; fail "cpack"; }
  the_package "$3" >/dev/null
  ;;

contents)
  deb=$(the_package "$2")
  id="$3"
  listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./#/#')
  for file in /usr/bin/mavu /usr/share/applications/$id.desktop /usr/share/metainfo/$id.metainfo.xml \
              /usr/share/icons/hicolor/scalable/apps/$id.svg /usr/share/doc/mavu/copyright; do
    grep -qxF "$file" <<<"$listing" || fail "the package lacks $file"
  done
  for size in 16 22 24 32 48 64 128 256 512; do
    grep -qxF "/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" <<<"$listing" || fail "no ${size}px icon"
  done
  # The player alone: no lab, tests, benchmarks, libraries or headers.
  if extra=$(grep -E 'mavu-lab|/tst_|/bench_|\.so(\.|$)|\.a$|/include/' <<<"$listing"); then
    fail "the package holds what it should not: $extra"
  fi
  [ "$(dpkg-deb -f "$deb" Package)" = mavu ] || fail "package name"
  [ "$(dpkg-deb -f "$deb" Version)" = "$4" ] || fail "version $(dpkg-deb -f "$deb" Version), expected $4"
  depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed -E 's/^ *//; s/ *\(.*//; s/ *\|.*//')
  # Found by dpkg-shlibdeps in the binary, and what the program loads at run time.
  for package in libqt6core6 libqt6quick6 libqt6dbus6 libvlc5 vlc-plugin-base qt6-qpa-plugins fonts-dejavu-core; do
    grep -qxF "$package" <<<"$depends" || fail "Depends lacks $package: $(dpkg-deb -f "$deb" Depends)"
  done
  while read -r uri; do
    [ -n "$uri" ] || continue
    import_is_packaged "$uri" "$depends" \
      || fail "the screens import $uri, which no dependency provides: add its qml6-module-… package to MAVU_DEB_RUNTIME_DEPENDS in packaging/CMakeLists.txt"
  done < <(qml_imports "$5")
  dpkg-deb --fsys-tarfile "$deb" | tar -x -O ./usr/bin/mavu >"$2/mavu.bin"
  file "$2/mavu.bin" | grep -q ', stripped' || fail "the packaged binary is not stripped"
  rm -f "$2/mavu.bin"
  ;;

starts)
  deb=$(the_package "$2")
  scratch="$3"
  root="$scratch/root"
  home="$scratch/home"
  rm -rf "$scratch"
  mkdir -p "$root" "$home"
  mkdir -m 700 "$home/runtime"
  dpkg -x "$deb" "$root"
  # Runs the packaged program offscreen for a few seconds in an empty home: it must still be
  # running when time is up (timeout's 124), and say nothing, also with screen warnings on.
  run() {
    local errors="$scratch/errors-$1.txt" status=0
    env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY "${@:2}" \
      HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" XDG_DATA_HOME="$home/data" \
      XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=offscreen QT_FORCE_STDERR_LOGGING=1 QT_LOGGING_RULES="mavu.qml.debug=true" \
      timeout 6 "$root/usr/bin/mavu" 2>"$errors" || status=$?
    [ "$status" -eq 124 ] || { cat "$errors" >&2; fail "the packaged program ended early ($status) ($1)"; }
    [ ! -s "$errors" ] || { cat "$errors" >&2; fail "the packaged program printed warnings ($1)"; }
  }
  run "no session bus"
  # On a session bus of its own it offers itself to the desktop's media controls.
  dbus-run-session -- "$0" _on-bus "$root" "$home" "$scratch" || fail "MPRIS on the session bus"
  ;;

_on-bus)
  root="$2" home="$3" errors="$4/errors-bus.txt"
  HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" XDG_DATA_HOME="$home/data" \
    XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=offscreen QT_FORCE_STDERR_LOGGING=1 QT_LOGGING_RULES="mavu.qml.debug=true" \
    "$root/usr/bin/mavu" 2>"$errors" &
  pid=$!
  trap 'kill $pid 2>/dev/null || true' EXIT
  get() {
    dbus-send --session --print-reply=literal --dest=org.mpris.MediaPlayer2.mavu /org/mpris/MediaPlayer2 \
      org.freedesktop.DBus.Properties.Get "string:$1" "string:$2" 2>/dev/null | awk '{print $NF}'
  }
  for _ in $(seq 50); do
    [ "$(get org.mpris.MediaPlayer2 Identity)" = MAVU ] && break
    kill -0 $pid 2>/dev/null || { cat "$errors" >&2; fail "the program ended"; }
    sleep 0.1
  done
  [ "$(get org.mpris.MediaPlayer2 Identity)" = MAVU ] || fail "no MPRIS player on the bus"
  [ "$(get org.mpris.MediaPlayer2.Player PlaybackStatus)" = Stopped ] || fail "playback status"
  kill $pid
  wait $pid 2>/dev/null || true
  [ ! -s "$errors" ] || { cat "$errors" >&2; fail "the packaged program printed warnings (session bus)"; }
  ;;

*)
  fail "unknown check $1"
  ;;
esac

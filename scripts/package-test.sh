#!/usr/bin/env bash
# CI: the Debian package, made by CPack from the release build the tests ran on
# (build/, or KV_BUILD_DIR), checked by lintian, installed, its programs run from
# outside the checkout as a user would start them, and purged again.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${KV_BUILD_DIR:-build}")
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

failures=0
check() { # check <what> <command...>: runs the command, counts a failure
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}

if dpkg-query -W -f='${Status}' kvphoto 2>/dev/null | grep -q "ok installed"; then
  echo "package-test: kvphoto is installed already; remove it first (apt-get purge kvphoto)" >&2
  exit 1
fi

echo "-- cpack"
rm -f "$build"/kvphoto_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
debs=("$build"/kvphoto_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "package-test: no single kvphoto_*.deb" >&2; exit 1; }
deb=${debs[0]}
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

echo "-- lintian"
# Errors fail the run, and so does any hardening tag, though lintian shows some of
# them only as information (hardening-no-bindnow).
lintian --fail-on error --display-info "$deb" | tee "$build/lintian.log" || failures=$((failures + 1))
check "lintian reports no hardening tag" bash -c "! grep -q 'hardening-' '$build/lintian.log'"

work=$(mktemp -d)
gui_pid=""
finish() {
  [ -n "$gui_pid" ] && kill "$gui_pid" 2>/dev/null
  if dpkg-query -W -f='${Status}' kvphoto 2>/dev/null | grep -q "installed"; then
    $sudo apt-get purge -y -qq kvphoto >/dev/null
  fi
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

echo "-- install"
$sudo apt-get install -y -qq "$deb"
dpkg -L kvphoto >"$work/files"
# The package's own folders go with it; shared ones (/usr/bin) stay.
while read -r p; do
  if [ -d "$p" ] && [ ! -L "$p" ]; then
    [[ $p =~ /kvphoto(/|$) ]] && echo "$p"
  else
    echo "$p"
  fi
done <"$work/files" >"$work/owned"
libdir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/kvphoto
for p in /usr/bin/kvphoto /usr/bin/kvphoto-cli /usr/bin/kvphoto-printer-app \
  "$libdir/liblptcore.so" /usr/share/kvphoto/Media.rtb /usr/share/kvphoto/help/index.html \
  /usr/share/doc/kvphoto/copyright /usr/share/doc/kvphoto/changelog.Debian.gz; do
  check "package holds $p" grep -qx "$p" "$work/files"
done
check "pictures stay compiled in" bash -c "! grep -q '^/usr/share/kvphoto/images' '$work/files'"

echo "-- the installed programs"
# A fresh user: nothing from the checkout, no KVPR_* but the virtual printer.
while read -r v; do unset "$v"; done < <(compgen -e | grep '^KVPR_' || true)
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" KVPR_PORT=sim KVPR_SIM_WARMUP_MS=0
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
cp tests/imagelib/data/codecs/quad.jpg "$work/photo.jpg"
cd "$work"

check "kvphoto-cli is /usr/bin's" test "$(command -v kvphoto-cli)" = /usr/bin/kvphoto-cli
check "album list shows My_Album" bash -c 'kvphoto-cli album list | grep -qx My_Album'

gui_runs() {
  QT_QPA_PLATFORM=offscreen kvphoto >"$work/kvphoto.log" 2>&1 &
  gui_pid=$!
  local profile=$HOME/.config/kvphoto/system/kvprn.ini
  for _ in $(seq 600); do
    [ -e "$profile" ] && break
    kill -0 "$gui_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -e "$profile" ] || { echo "no port search"; cat "$work/kvphoto.log"; return 1; }
  [ -d "$HOME/.cache/kvphoto/c/kvtemp" ] || { echo "no temporary folder"; return 1; }
  kill -TERM "$gui_pid"
  local status=0
  wait "$gui_pid" || status=$?
  gui_pid=""
  [ "$status" -eq 0 ] || { echo "exit status $status"; cat "$work/kvphoto.log"; return 1; }
  [ ! -e "$HOME/.cache/kvphoto/c/kvtemp" ] || { echo "temporary folder left behind"; return 1; }
}
check "kvphoto starts, searches the port, ends cleanly on SIGTERM" gui_runs

# Opening a JPEG from the file manager: the desktop entry's Exec passes a file:// URL.
# The media question at start is off, as after a user unticked it once (else the
# picture is added when that dialog is closed).
opens_picture() {
  local settings=$HOME/.local/share/kvphoto/Kvx00.ini
  [ ! -e "$settings" ] || { echo "$settings exists already"; return 1; }
  printf '[SetMediaID]\r\nDisplayAtStartup=0\r\n' >"$settings"
  QT_QPA_PLATFORM=offscreen kvphoto "file://$work/photo.jpg" >"$work/kvphoto-open.log" 2>&1 &
  gui_pid=$!
  for _ in $(seq 600); do
    kvphoto-cli album show My_Album 2>/dev/null | grep -q "photo.jpg" && break
    kill -0 "$gui_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -TERM "$gui_pid" 2>/dev/null
  wait "$gui_pid" || true
  gui_pid=""
  kvphoto-cli album show My_Album | grep -q "$work/photo.jpg" ||
    { echo "not in the album"; cat "$work/kvphoto-open.log"; return 1; }
}
check "opening a JPEG with kvphoto adds it to the current album" opens_picture
check "print to the virtual printer" kvphoto-cli --yes print "$work/photo.jpg"
check "page written" test -s "$HOME/.local/share/kvphoto/virtual-printer/page-0001.png"

check "man kvphoto" man -w kvphoto
check "man kvphoto-cli" man -w kvphoto-cli
desktop=$(grep -E '^/usr/share/applications/.+\.desktop$' "$work/files" || true)
metainfo=$(grep -E '^/usr/share/metainfo/.+\.xml$' "$work/files" || true)
check "desktop file installed" test -n "$desktop"
check "metainfo installed" test -n "$metainfo"
for f in $desktop; do check "desktop-file-validate $f" desktop-file-validate "$f"; done
for f in $metainfo; do check "appstreamcli validate $f" appstreamcli validate --no-net "$f"; done

echo "-- purge"
$sudo apt-get purge -y -qq kvphoto
left=0
while read -r p; do
  if [ -e "$p" ] || [ -L "$p" ]; then echo "left behind: $p"; left=1; fi
done <"$work/owned"
check "purge removes every file and folder of the package" test "$left" -eq 0

if [ "$failures" -ne 0 ]; then
  echo "package-test: $failures failed" >&2
  exit 1
fi
echo "package-test: all passed"

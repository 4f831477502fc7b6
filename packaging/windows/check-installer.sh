#!/usr/bin/env bash
# Installs the Windows installer silently under Wine, in a Wine prefix of its own,
# starts the installed editor on a virtual display (screenshot), closes it and
# reads its settings back from the registry, runs the installed tool, then
# uninstalls silently and checks that nothing of ours is left.
#   check-installer.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
installer=$(ls "$build"/tqx512-config-*-win64.exe)
export WINEPREFIX=$build/wine-install WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
step() { echo; echo "== $* =="; }
fail() { echo "check-installer: $*"; exit 1; }
wait_for() {  # seconds, command...: true once the command succeeds
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do (( SECONDS < deadline )) || return 1; sleep 0.2; done
}

display=$((90 + RANDOM % 100))
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
editor=
cleanup() {
  [[ -n $editor ]] && kill "$editor" 2>/dev/null
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=:$display
wait_for 10 xdpyinfo >/dev/null 2>&1 || fail "no virtual display"

step "silent install: $(basename "$installer") ($(du -h "$installer" | cut -f1))"
start=$SECONDS
wine "$installer" /S
dir="$WINEPREFIX/drive_c/Program Files/TQX512 Config"
wait_for 60 test -f "$dir/Uninstall.exe" || fail "nothing installed in $dir"
echo "installed in $((SECONDS - start)) s:"
(cd "$dir" && find . -type f | sort | sed 's/^/  /')
for f in tqx512-config.exe tqx512.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
         platforms/qwindows.dll styles/qwindowsvistastyle.dll libstdc++-6.dll \
         libgcc_s_seh-1.dll libwinpthread-1.dll LICENSE.txt; do
  [[ -f $dir/$f ]] || fail "missing $f"
done
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TQX512 Config'
wine reg query "$uninstall_key" | tr -d '\r' | grep -E 'DisplayName|UninstallString' ||
  fail "no uninstall key"
ls "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/TQX512 Config/" |
  grep -q "TQX512 Config.lnk" || fail "no Start-menu entry"
echo "Start-menu entry: TQX512 Config.lnk"

step "the installed tool"
wine "$dir/tqx512.exe" --version | tr -d '\r'
wine "$dir/tqx512.exe" ports | tr -d '\r' || true

step "start the installed editor"
# Wine's DirectWrite draws no text in line edits (Qt's own text engine does):
# Qt's FreeType engine for the picture. Windows itself needs no such choice.
WINEQT_QPA_PLATFORM=windows:fontengine=freetype wine "$dir/tqx512-config.exe" &
editor=$!
window=
for i in $(seq 600); do
  window=$(xwininfo -root -tree 2>/dev/null |
           awk '/"TQX512 Config"/ && / 7[0-9][0-9]x[0-9]+/ {print $1; exit}' || true)
  [[ -n $window ]] && break
  if (( i % 20 == 0 )); then
    # No MIDI device under Wine here: the start-up report comes first; answer it.
    box=$(xdotool search --onlyvisible --name "^TQX512 Config$" 2>/dev/null | head -n 1 || true)
    [[ -n $box ]] && xdotool key --window "$box" Return 2>/dev/null || true
  fi
  sleep 0.1
done
[[ -n $window ]] || fail "the main window did not appear"
echo "main window $window: $(xwininfo -id "$window" | awk '/geometry/ {print $2}')"
sleep 2  # let it paint
mkdir -p "$build/screenshots"
shot=$build/screenshots/installed-windows.png
import -window "$window" "$shot"
echo "screenshot: $shot"
"$here/scripts/close-window.py" "$window"
wait_for 30 bash -c "! kill -0 $editor 2>/dev/null" || fail "the editor did not end when closed"
wait "$editor" && rc=0 || rc=$?
editor=
echo "tqx512-config ended with exit status $rc after its window was closed"

step "its settings in the registry"
key='HKCU\Software\Velmont\TQX512-4voice'
values=$(wine reg query "$key" | tr -d '\r')
echo "$values" | head -5
integers=$(grep -c REG_DWORD <<<"$values" || true)
echo "$integers integer values under $key"
[[ $integers -eq 38 ]] || fail "expected 38 integer values"

step "silent uninstall"
wine "$dir/Uninstall.exe" /S
wait_for 60 bash -c "[[ ! -e '$dir/tqx512-config.exe' ]]" || fail "the programs are still there"
left=$( (find "$dir" -type f 2>/dev/null || true) | wc -l)
[[ $left -eq 0 ]] || fail "$left files left in $dir"
if wine reg query "$uninstall_key" >/dev/null 2>&1; then fail "the uninstall key is still there"; fi
echo "uninstalled: no file left, no uninstall key"
echo
echo "check-installer: all checks passed"

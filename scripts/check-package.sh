#!/usr/bin/env bash
# Builds the two Debian packages and proves them: the desktop entry, the AppStream
# data and lintian first; then, in a fresh Debian 12 chroot, the tool's package is
# installed alone (it must pull in no X11, GL or Qt GUI library) and `tqx512
# --version` runs; then the editor's package is installed, and the editor is started
# on a virtual display, seen, photographed and closed.
#
#   scripts/check-package.sh        (as root; the base system is cached in
#                                    /var/tmp/tqx512-package after the first run)
set -euo pipefail
cd "$(dirname "$0")/.."
[[ $(id -u) -eq 0 ]] || { echo "check-package: needs root (chroot, mounts)"; exit 1; }
scripts/install-deps.sh
need=()
for p in lintian debootstrap python3; do
  command -v "$p" >/dev/null || need+=("$p")
done
if (( ${#need[@]} )); then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

step() { echo; echo "== $* =="; }

step "build the package"
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target tqx512-config tqx512-cli desktop_files
(cd build && cpack -G DEB)
version=$(sed -n 's/^project(tqx512_config VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
tool_deb=$PWD/build/tqx512_${version}_amd64.deb
deb=$PWD/build/tqx512-config_${version}_amd64.deb
for d in "$tool_deb" "$deb"; do
  [[ -f $d ]] || { echo "check-package: $d was not made"; exit 1; }
  dpkg-deb --info "$d"
  dpkg-deb --contents "$d"
done

step "validators"
desktop-file-validate build/packaging/*.desktop && echo "desktop-file-validate: no errors"
appstreamcli validate --no-net build/packaging/*.metainfo.xml
lintian --fail-on error "$tool_deb" "$deb" && echo "lintian: no errors"

step "install into a fresh Debian 12"
cache=/var/tmp/tqx512-package
base=$cache/bookworm-minbase.tar
mkdir -p "$cache"
if [[ ! -f $base ]]; then
  echo "making the base system once (a few minutes)"
  rm -rf "$cache/base"
  # The mirror this machine's apt already uses.
  mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [[ -n $mirror ]] || mirror=$(awk '/^deb / && !/security/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
  [[ -n $mirror ]] || { echo "check-package: no Debian mirror found in apt's sources"; exit 1; }
  debootstrap --variant=minbase bookworm "$cache/base" "$mirror" \
    >"$cache/debootstrap.log" 2>&1 || { echo "debootstrap failed; see $cache/debootstrap.log"; exit 1; }
  tar -C "$cache/base" -cf "$base" . && rm -rf "$cache/base"
fi
root=$(mktemp -d "$cache/run.XXXXXX")
xvfb=
editor=
cleanup() {
  [[ -n $editor ]] && kill "$editor" 2>/dev/null || true
  [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null || true
  for m in tmp/.X11-unix dev proc sys; do umount -R -l "$root/$m" 2>/dev/null || true; done
  if findmnt -rn -o TARGET | grep -q "^$root/"; then
    echo "check-package: mounts remain under $root; left in place"; return
  fi
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
tar -C "$root" -xf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mount -t proc proc "$root/proc"; mount -t sysfs sys "$root/sys"
mount --rbind /dev "$root/dev"; mount --make-rslave "$root/dev"
cp "$tool_deb" "$deb" "$root/tmp/"
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
in_root apt-get update -qq

step "the tool's package alone"
before=$(in_root dpkg-query -W -f '${Package}\n' | sort)
in_root apt-get install -y -qq "/tmp/$(basename "$tool_deb")"
added=$(comm -13 <(echo "$before") <(in_root dpkg-query -W -f '${Package}\n' | sort))
echo "$(wc -l <<<"$added") packages installed with tqx512"
gui=$(grep -E '^(libx11|libxcb|libxext|libxrender|libxi6|libxkbcommon|libxau|libxdmcp|libgl1|libglx|libegl|libopengl|libgles|libqt6(gui|widgets|charts|opengl)|libwayland|libvulkan|qt6-qpa)' <<<"$added" || true)
[[ -z $gui ]] || { echo "check-package: tqx512 pulled in:"; echo "$gui"; exit 1; }
echo "no X11, GL or Qt GUI library among them"
in_root tqx512 --version

step "the editor's package"
in_root apt-get install -y -qq "/tmp/$(basename "$deb")"
in_root dpkg -L tqx512-config | grep -E '^/usr/(bin|share/(applications|metainfo|man)|share/icons/hicolor/.*/apps)/'

step "start tqx512-config from the package"
# The display runs outside; the chroot sees its socket, nothing else of the host.
display=$((90 + RANDOM % 100))
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
install -d -m 700 "$root/run/user/0"
in_root DISPLAY=":$display" XDG_RUNTIME_DIR=/run/user/0 tqx512-config &
editor=$!
window=
for i in $(seq 150); do
  window=$(xwininfo -root -tree 2>/dev/null | awk '/"TQX512 Config"/ && / 780x484/ {print $1; exit}')
  [[ -n $window ]] && break
  if (( i % 20 == 0 )); then
    # No MIDI device in the chroot: the start-up report comes first; answer it.
    box=$(xdotool search --onlyvisible --name "^TQX512 Config$" 2>/dev/null | head -n 1)
    [[ -n $box ]] && { echo "start-up report answered with OK"; xdotool key --window "$box" Return || true; }
  fi
  sleep 0.1
done
[[ -n $window ]] || { echo "check-package: the main window did not appear"; exit 1; }
echo "main window $window: $(xwininfo -id "$window" | awk -F'"' '/xwininfo/ {print $2}')," \
     "$(xwininfo -id "$window" | awk '/geometry/ {print $2}')"
sleep 1  # let it paint
mkdir -p build/screenshots
shot=build/screenshots/installed-package.png
import -window "$window" "$shot"
echo "screenshot: $shot"
scripts/close-window.py "$window"
for _ in $(seq 100); do kill -0 "$editor" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$editor" 2>/dev/null; then echo "check-package: the editor did not end when closed"; exit 1; fi
wait "$editor" && rc=0 || rc=$?
editor=
echo "tqx512-config ended with exit status $rc after its window was closed"
[[ $rc -eq 0 ]] || exit 1
[[ -f $root/root/.config/Velmont/TQX512-4voice.conf ]] && echo "its settings were saved on close"
echo
echo "check-package: all checks passed"

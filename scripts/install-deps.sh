#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the screenshots need,
# only those that are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools
  libasound2-dev libjack-jackd2-dev jackd2
  # The JACK tests run a second time on PipeWire's libjack and daemon.
  pipewire pipewire-jack
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core
  # The desktop entry, icon and AppStream data: made and checked in every build;
  # dpkg-dev computes the package's dependencies.
  librsvg2-bin desktop-file-utils appstream dpkg-dev
  # The VM that runs the ALSA tests on a real kernel sequencer (tests/vm/).
  qemu-system-x86 busybox-static kmod cpio alsa-utils
  # The Windows seam check: our mmsystem.h against mingw-w64's, run under Wine
  # (scripts/build-windows.sh adds what the whole Windows build needs).
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to enable real-time priority; answer no without a prompt.
echo "jackd2 jackd/tweak_rt_limits boolean false" | "${sudo[@]}" debconf-set-selections
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

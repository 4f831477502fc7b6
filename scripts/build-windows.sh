#!/usr/bin/env bash
# Builds the Windows editor, tool, tests and installer with mingw-w64 against a Qt
# cross-built from Debian's own qtbase source, then runs the tests and the
# installer under Wine.
#
#   scripts/build-windows.sh [qt|gtest|build|test|package|all]    (default: all)
#
# The cross-built Qt is kept in $TQX_WIN_CACHE (default /var/cache/tqx512-windows),
# keyed by the source version and the options below, and reused while they stay.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cache=${TQX_WIN_CACHE:-/var/cache/tqx512-windows}
stage=${1:-all}
jobs=${TQX_JOBS:-$(nproc)}

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)

install_packages() {
  "$here/scripts/install-deps.sh"
  local packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
                  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
                  wine wine64 nsis zip dpkg-dev xz-utils python3)
  local missing=()
  for p in "${packages[@]}"; do
    [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true) == "install ok installed" ]] \
      || missing+=("$p")
  done
  if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# What the editor needs of Qt, and nothing else: Core, Gui with the Windows
# platform plugin, Widgets and Test, with Qt's own copies of zlib, PNG, JPEG,
# PCRE2, HarfBuzz and FreeType. Debian's source leaves out the Wacom tablet header,
# so tablet events are off (the editor has no use for them).
qt_options=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
  -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DINPUT_opengl=no -DFEATURE_tabletevent=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
  -DFEATURE_system_jpeg=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF
)

qt_source_version() {
  dpkg-query -W -f='${Version}' qt6-base-dev
}

qt_key() {
  { qt_source_version; printf '%s\n' "${qt_options[@]}"; cat "$here/cmake/mingw-w64-x86_64.cmake"; } \
    | sha256sum | cut -c1-16
}

qt_prefix() { echo "$cache/qt-$(qt_key)"; }

# Unpacks Debian's source of PACKAGE at VERSION into WORK/src, through a private
# list of sources, so the system's own lists stay as they are.
fetch_debian_source() {  # package version work
  local work=$3
  mkdir -p "$work/etc" "$work/lists/partial"
  echo "deb-src http://deb.debian.org/debian bookworm main" > "$work/etc/sources.list"
  local apt=(apt-get -o Dir::Etc::sourcelist="$work/etc/sources.list"
             -o Dir::Etc::sourceparts=- -o Dir::State::Lists="$work/lists")
  "${apt[@]}" update -qq
  (cd "$work" && "${apt[@]}" source --download-only "$1=$2" && dpkg-source -x ./*.dsc src >/dev/null)
}

build_qt() {
  local prefix; prefix=$(qt_prefix)
  if [[ -f "$prefix/.complete" ]]; then
    echo "Qt for Windows: reusing $prefix"
    return
  fi
  local work="$cache/work"
  rm -rf "$work" "$prefix"
  # The same qtbase as the host's: the cross build runs the host's moc, rcc and uic.
  fetch_debian_source qt6-base "$(qt_source_version)" "$work"
  cmake -G Ninja -S "$work/src" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${qt_options[@]}"
  cmake --build "$work/build" -j "$jobs"
  cmake --install "$work/build"
  touch "$prefix/.complete"
  rm -rf "$work"
}

# GoogleTest for the Windows test programs, from Debian's source of the host's.
gtest_prefix() {
  echo "$cache/googletest-$({ dpkg-query -W -f='${Version}' googletest;
                               cat "$here/cmake/mingw-w64-x86_64.cmake"; } | sha256sum | cut -c1-16)"
}

build_gtest() {
  local prefix; prefix=$(gtest_prefix)
  if [[ -f "$prefix/.complete" ]]; then
    echo "GoogleTest for Windows: reusing $prefix"
    return
  fi
  local work="$cache/gtest-work"
  rm -rf "$work" "$prefix"
  fetch_debian_source googletest "$(dpkg-query -W -f='${Version}' googletest)" "$work"
  cmake -G Ninja -S "$work/src" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=OFF
  cmake --build "$work/build" -j "$jobs"
  cmake --install "$work/build"
  touch "$prefix/.complete"
  rm -rf "$work"
}

build_project() {
  export TQX_WINDOWS_QT; TQX_WINDOWS_QT=$(qt_prefix)
  export TQX_WINDOWS_GTEST; TQX_WINDOWS_GTEST=$(gtest_prefix)
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
  cd "$here"
  cmake --preset windows
  cmake --build --preset windows -j "$jobs"
}

run_tests() {
  cd "$here"
  ctest --preset windows -j "$jobs"
}

package() {
  cd "$here/build-windows"
  cpack -G "NSIS;ZIP"
  "$here/packaging/windows/check-installer.sh" "$here/build-windows"
}

timed() {  # what, command...
  local start=$SECONDS
  "${@:2}"
  echo "== $1: $((SECONDS - start)) s =="
}

case "$stage" in
  qt) install_packages; timed "Qt for Windows" build_qt; timed "GoogleTest for Windows" build_gtest ;;
  gtest) timed "GoogleTest for Windows" build_gtest ;;
  build) timed "build" build_project ;;
  test) timed "tests under Wine" run_tests ;;
  package) timed "installer" package ;;
  all)
    install_packages
    timed "Qt for Windows" build_qt
    timed "GoogleTest for Windows" build_gtest
    timed "build" build_project
    timed "tests under Wine" run_tests
    timed "installer" package
    ;;
  *) echo "usage: $0 [qt|build|test|package|all]" >&2; exit 2 ;;
esac

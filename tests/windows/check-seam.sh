#!/usr/bin/env bash
# The fast part of the Windows build, run with the other tests:
#   check-seam.sh seam   BUILD_DIR   our mmsystem.h against mingw-w64's, under Wine
#   check-seam.sh engine BUILD_DIR   the engine's sources that need no Qt, compiled for Windows
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
what=$1
out=$2/windows-seam
mkdir -p "$out"
cxx=(x86_64-w64-mingw32-g++-posix -std=c++20 -Wall -Wextra -Werror -I"$here/src")

case "$what" in
  seam)
    "${cxx[@]}" -I"$here/tests/windows" -static -o "$out/seam_check.exe" \
      "$here"/tests/windows/seam_{ours,windows,check}.cpp
    # A prefix of its own, without the .NET and HTML engines' install prompts.
    WINEPREFIX="$out/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
      wine "$out/seam_check.exe"
    ;;
  engine)
    # Linux's own services stay out of the Windows build; files that include Qt
    # are left to the full Windows build (scripts/build-windows.sh).
    mapfile -t skip < <(grep -v '^#' "$here/cmake/linux-only-sources.txt")
    checked=0 qt=0
    cd "$here"
    for f in src/{midi,midi/platform,protocol,files,config,table,tune,audio,ui,cli}/*.cpp; do
      for pattern in "${skip[@]}"; do
        # shellcheck disable=SC2053
        [[ $f == $pattern ]] && continue 2
      done
      if ! log=$("${cxx[@]}" -fsyntax-only "$f" 2>&1); then
        if grep -q "fatal error: Q[A-Za-z]*: No such file" <<<"$log"; then
          qt=$((qt + 1)); continue
        fi
        echo "$log"; echo "FAILED: $f"; exit 1
      fi
      checked=$((checked + 1))
    done
    echo "$checked sources compile for Windows ($qt need Qt and are left to the full build)"
    [[ $checked -gt 0 ]]
    ;;
  *) echo "usage: $0 seam|engine BUILD_DIR" >&2; exit 2 ;;
esac

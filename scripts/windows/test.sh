#!/usr/bin/env bash
# The Windows stage of the test command: installs MinGW-w64, Wine, Xvfb, the
# Japanese font and locale, cross-builds the Windows binaries, and tests them
# under Wine with the real Win32 dialog manager:
#
#   1. the binaries as files: exports, export-directory name, imports (the
#      common controls by ordinal 17) and the dialog resources;
#   2. the GoogleTest suites built for Windows (tests/windows/CMakeLists.txt):
#      the dialog, plug-in and session suites of the native build, unchanged,
#      and the Windows-only one, through CTest;
#   3. the same sessions and bakes through the native baker and through
#      tamsink.exe under Wine, which must end alike and write the same bytes.
#
# One X server, one Wine prefix (under build/windows, removed at the end) and
# one persistent Wine server serve the whole stage; every Wine run has a time
# limit, and nothing is left running when the script ends, however it ends.
# Every part runs even when an earlier one failed; the exit status is
# non-zero when any failed.
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$(pwd)"

scripts/windows/setup.sh
echo "== windows: build" >&2
scripts/windows/build.sh

# The native baker to compare with: the Release build's (or the folder in
# TAMSINK_NATIVE_BIN), made when missing.
native_bin="${TAMSINK_NATIVE_BIN:-$root/build/release/bin}"
if [ ! -x "$native_bin/tamsink" ] || [ ! -f "$native_bin/Tamsink.so" ]; then
  echo "== windows: building the native baker to compare with" >&2
  cmake --preset release
  cmake --build --preset release --target tamsink Tamsink
  native_bin="$root/build/release/bin"
fi

source scripts/windows/wine-env.sh
export WINEPREFIX="$TAMSINK_WINDOWS_BUILD/wineprefix"
trap wine_stop EXIT
trap 'exit 130' INT TERM
echo "== windows: starting Wine" >&2
wine_start

failed=()
echo "== windows: binaries" >&2
tests/windows/check_binary.sh "$TAMSINK_WINDOWS_BUILD/bin" "$TAMSINK_WINDOWS_BUILD/host-tools/pe_resources" ||
  failed+=(binaries)
echo "== windows: suites under Wine" >&2
ctest --test-dir "$TAMSINK_WINDOWS_BUILD" --output-on-failure --no-tests=error || failed+=(suites)
echo "== windows: native and Windows builds side by side" >&2
tests/windows/cross_check.sh "$native_bin" "$TAMSINK_WINDOWS_BUILD/bin" "$TAMSINK_WINDOWS_BUILD/cross" ||
  failed+=(cross-platform)

if ((${#failed[@]})); then
  echo "== windows: FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "== windows: all passed" >&2

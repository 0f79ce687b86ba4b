#!/usr/bin/env bash
# Builds Tamsink from scratch and runs every test: the Release build, then the
# whole native suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
# Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
for preset in release asan; do
  echo "== $preset" >&2
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
scripts/fuzz.sh 15

# The Windows plug-in, cross-built and tested under Wine against the Release
# build above.
echo "== windows" >&2
scripts/windows/test.sh

#!/usr/bin/env bash
# Builds Tamsink from scratch and runs every test. Fails on the first error.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset release
cmake --build --preset release
ctest --preset release

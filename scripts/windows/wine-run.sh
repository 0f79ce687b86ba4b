#!/usr/bin/env bash
# Runs one Windows program under Wine with a time limit, in the prefix and on
# the display that scripts/windows/test.sh set up (CTest's emulator for the
# Windows suites). Exit status: the program's, or 124 on a timeout.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
exec timeout --kill-after=10 "$TAMSINK_WINE_TIMEOUT" "$TAMSINK_WINE" "$@"

#!/usr/bin/env bash
# Cross-builds the Windows binaries with MinGW-w64 into build/windows/bin:
# Tamsink.dll, the baker tamsink.exe with its host module tamsink_host.dll,
# and the test programs; and, for this machine, the resource reader that
# checks Tamsink.dll (build/windows/host-tools/pe_resources).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset windows
cmake --build --preset windows
mkdir -p build/windows/host-tools
g++ -std=c++17 -O1 -Wall -Wextra -Werror -o build/windows/host-tools/pe_resources tests/windows/pe_resources.cpp

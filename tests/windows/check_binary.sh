#!/usr/bin/env bash
# The Windows binaries checked as files, as a host's loader will see them:
# Tamsink.dll's export directory (its name and exactly the seven undecorated
# entry points), its imports (KERNEL32, USER32, COMCTL32 and msvcrt only, the
# common controls by ordinal 17 without a name) and its dialog resources
# (pe_resources, built for this machine); the baker and the host module need
# no DLL beyond the system's either.
#
#   tests/windows/check_binary.sh WINDOWS_BIN PE_RESOURCES_PROGRAM
set -uo pipefail
bin="$1"
pe_resources="$2"
objdump=x86_64-w64-mingw32-objdump

passed=0
failed=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
    echo "PASS $1"
  else
    failed=$((failed + 1))
    echo "FAIL $1"
    echo "      expected: $2"
    echo "      found:    $3"
  fi
}

dump="$("$objdump" -p "$bin/Tamsink.dll")"

# The export directory.
check "export directory name" "Tamsink.dll" \
  "$(sed -n 's/^Name[[:space:]]\+[0-9a-f]\+ \(.*\)$/\1/p' <<<"$dump")"
check "export address table size" "00000007" \
  "$(sed -n 's/^[[:space:]]*Export Address Table[[:space:]]\+\([0-9a-f]\{8\}\)$/\1/p' <<<"$dump")"
exports="$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[[[:space:]]*[0-9]*\] \(.*\)$/\1/p' <<<"$dump" |
  sort | tr '\n' ' ')"
check "exported names" "MQCheckVersion MQEnumString MQGetPlugInID MQGetPlugInName MQGetPlugInType MQInit MQModifyObject " \
  "$exports"

# The imports: the DLLs, and COMCTL32's one entry.
imports_of() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort | tr '\n' ' '; }
check "Tamsink.dll imports" "COMCTL32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL " "$(imports_of "$bin/Tamsink.dll")"
comctl32="$(sed -n '/DLL Name: COMCTL32.dll/,/^$/p' <<<"$dump" | sed -n '3,$p' | sed '/^$/d' | tr -s '[:space:]' ' ')"
# One line: the thunk (ordinal flag, then 0x11), the ordinal 17 in hex, no name.
check "COMCTL32 import by ordinal 17" " 8000000000000011 000000011 <none> " "$comctl32"
check "tamsink_host.dll imports" "KERNEL32.DLL MSVCRT.DLL " "$(imports_of "$bin/tamsink_host.dll")"
check "tamsink.exe imports" "KERNEL32.DLL MSVCRT.DLL TAMSINK_HOST.DLL USER32.DLL " "$(imports_of "$bin/tamsink.exe")"

# The dialog resources.
if resources="$("$pe_resources" "$bin/Tamsink.dll")"; then
  check "dialog resources" "ok" "ok"
else
  check "dialog resources" "no problem" "$(grep '^problem' <<<"$resources" | tr '\n' ';')"
fi

echo "binary checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

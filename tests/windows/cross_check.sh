#!/usr/bin/env bash
# The same invocations through both builds: the native baker with the stand-in
# platform, and tamsink.exe with Tamsink.dll under Wine with the real dialog
# manager. Each one must end with the status it states, report the same
# session failures (none) and write the same files, byte for byte.
#
#   tests/windows/cross_check.sh NATIVE_BIN WINDOWS_BIN OUT_DIR
#
# NATIVE_BIN holds tamsink and Tamsink.so, WINDOWS_BIN tamsink.exe and
# Tamsink.dll. Wine must be ready (scripts/windows/test.sh): WINEPREFIX and
# DISPLAY set, the server running.
#
# Two kinds of case:
#   sessions/NAME.session  a dialog session (UTF-8 here, handed to both builds
#                          as code page 932), on examples/scene.obj; its
#                          "# exit: N" line is the status both must end with;
#   the option runs below  the baker's own session made from its options.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../../scripts/windows/wine-env.sh"

native_bin="$(cd "$1" && pwd)"
windows_bin="$(cd "$2" && pwd)"
mkdir -p "$3"
out="$(cd "$3" && pwd)"
model="$TAMSINK_ROOT/examples/scene.obj"

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; }

# run_both NAME ARGS...: runs `tamsink ARGS` in OUT/linux/NAME and
# OUT/windows/NAME; sets linux_status and windows_status.
run_both() {
  local name="$1"
  shift
  rm -rf "$out/linux/$name" "$out/windows/$name"
  mkdir -p "$out/linux/$name" "$out/windows/$name"
  (cd "$out/linux/$name" && "$native_bin/tamsink" "$@" --quiet 2>"$out/linux/$name.stderr")
  linux_status=$?
  (cd "$out/windows/$name" && wine_run "$windows_bin/tamsink.exe" "$@" --quiet 2>"$out/windows/$name.stderr")
  windows_status=$?
  # Console text from Windows ends its lines with CR LF.
  sed -i 's/\r$//' "$out/windows/$name.stderr"
}

# compare NAME EXPECTED_STATUS: the statuses, the messages and the files.
compare() {
  local name="$1" expected="$2" why=""
  [ "$linux_status" = "$expected" ] || why+=" native build ended with $linux_status, not $expected;"
  [ "$windows_status" = "$expected" ] || why+=" Windows build ended with $windows_status, not $expected;"
  cmp -s "$out/linux/$name.stderr" "$out/windows/$name.stderr" || why+=" the messages differ;"
  local listing_linux listing_windows
  listing_linux="$(cd "$out/linux/$name" && find . -type f | sort)"
  listing_windows="$(cd "$out/windows/$name" && find . -type f | sort)"
  if [ "$listing_linux" != "$listing_windows" ]; then
    why+=" files differ: native [$(echo $listing_linux)] Windows [$(echo $listing_windows)];"
  else
    local f
    for f in $listing_linux; do
      cmp -s "$out/linux/$name/$f" "$out/windows/$name/$f" || why+=" $f differs;"
    done
  fi
  if [ -z "$why" ]; then
    pass "$name ($(echo $listing_linux | wc -w) files)"
  else
    fail "$name:$why"
    sed 's/^/      native: /' "$out/linux/$name.stderr"
    sed 's/^/      Windows: /' "$out/windows/$name.stderr"
  fi
}

mkdir -p "$out/sessions"
for session in "$here"/sessions/*.session; do
  name="$(basename "$session" .session)"
  expected="$(sed -n 's/^# exit: \([0-9]*\)$/\1/p' "$session" | head -n1)"
  if [ -z "$expected" ]; then
    fail "$name: no '# exit: N' line"
    continue
  fi
  iconv -f UTF-8 -t CP932 "$session" >"$out/sessions/$name.session"
  run_both "$name" bake "$model" --session "$out/sessions/$name.session"
  compare "$name" "$expected"
done

# The baker's own sessions from its options, every mode in one invocation.
run_both options_plain bake "$model" --size 80 --mode normal,shade,shadow,ao --light 1,2,-3 \
  --samples 10 --out '{mode}.bmp'
compare options_plain 0
run_both options_filtered bake "$model" --size 80 --mode ao,shadow,shade,normal --light -0.5,1,0.25 \
  --back-faces --filter --samples 10 --distance auto --spread 90 --out '{mode}.bmp'
compare options_filtered 0
run_both options_other_object bake "$model" --object 1 --hide 2 --size 64 --mode shadow,ao \
  --samples 6 --out 'obj1_{mode}.bmp'
compare options_other_object 0

echo "cross-platform: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

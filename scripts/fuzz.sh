#!/usr/bin/env bash
# Builds the libFuzzer fuzzers (the fuzz preset: clang with AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each one for a bounded time over
# its seed corpus in fuzz/corpus/<name>/. Fails when a fuzzer finds a crash,
# a sanitizer report, a failed check, a timeout or a runaway allocation; the
# input is then saved as build/fuzz/findings/<name>-crash-... (or -timeout-,
# -oom-) and the log named in the message holds the report.
#
#   scripts/fuzz.sh [seconds-per-fuzzer] [fuzzer...]
#
# The default is 20 seconds each; a long run by hand: scripts/fuzz.sh 3600.
# New inputs a run finds go to build/fuzz/corpus/<name>/, never into the
# committed seeds; copy the interesting ones there by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=${1:-20}
shift || true
fuzzers=("$@")
if ((${#fuzzers[@]} == 0)); then
  fuzzers=(fuzz_obj_import fuzz_bake fuzz_control_text fuzz_dialog fuzz_cli_options)
fi
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
  echo "fuzz: the time per fuzzer must be a whole number of seconds, not '$seconds'" >&2
  exit 2
fi

# libFuzzer ships with clang's runtime libraries; install them when the
# linker cannot find them.
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is needed (Debian package clang)" >&2
  exit 2
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  clang_major=$(clang++ -dumpversion | cut -d. -f1)
  echo "fuzz: installing libclang-rt-$clang_major-dev for libFuzzer" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "libclang-rt-$clang_major-dev"
fi

echo "== fuzz: building" >&2
cmake --preset fuzz >/dev/null
cmake --build build/fuzz --target fuzzers

out=$root/build/fuzz
mkdir -p "$out/findings" "$out/logs"
failed=()
summary=()
for name in "${fuzzers[@]}"; do
  binary=$out/bin/$name
  seeds=$root/fuzz/corpus/$name
  corpus=$out/corpus/$name
  log=$out/logs/$name.log
  if [ ! -x "$binary" ] || [ ! -d "$seeds" ]; then
    echo "fuzz: no fuzzer or seed corpus named '$name'" >&2
    exit 2
  fi
  mkdir -p "$corpus"
  echo "== fuzz: $name for ${seconds}s" >&2
  # Every run starts in a scratch folder of its own, so that nothing a
  # fuzzer writes by a relative name lands in the tree. A single input gets
  # 25 s (the slowest seeds take well under one) and 2 GiB.
  scratch=$(mktemp -d)
  status=0
  (cd "$scratch" &&
   ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1} \
   UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1} \
   "$binary" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
     -artifact_prefix="$out/findings/$name-" "$corpus" "$seeds") >"$log" 2>&1 || status=$?
  rm -rf "$scratch"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  coverage=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 || true)
  if ((status != 0)); then
    failed+=("$name")
    summary+=("$name: FAILED (exit $status), see $log")
    grep -E 'ERROR|SUMMARY|check failed|runtime error' "$log" | head -5 >&2 || true
  else
    summary+=("$name: ${runs:-?} runs, ${coverage:-no coverage line}")
  fi
done

echo "== fuzz: results" >&2
printf '  %s\n' "${summary[@]}" >&2
if ((${#failed[@]})); then
  echo "fuzz: findings in ${failed[*]}; the inputs are in $out/findings/" >&2
  exit 1
fi

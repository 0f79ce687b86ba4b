#!/usr/bin/env bash
# Measures the figures of the README's speed table on this machine: the
# Release build with the benchmarks, the query and build benchmarks, the knot
# benchmarks (query, occluder set, whole AO passes on 1 and 2 threads), the
# Embree yardstick when Debian's libembree-dev can be installed (benchmark
# only; the plug-in never links it), and the baker itself on the knot.
#
#   scripts/bench.sh            everything (several minutes)
#   scripts/bench.sh --quick    the knot figures only
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
[ "${1:-}" = "--quick" ] && quick=1

bash scripts/setup.sh
if ! dpkg-query -W -f='${Status}' libembree-dev 2>/dev/null | grep -q "install ok installed"; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "bench: installing libembree-dev for the yardstick" >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends libembree-dev \
    || echo "bench: no Embree; the yardstick is skipped" >&2
fi
cmake --preset release >/dev/null
cmake --build build/release
bin=build/release/bin

if [ "$quick" -eq 0 ]; then
  "$bin/occluder_bvh_bench" --benchmark_filter='Sphere'
  "$bin/texel_table_bench"
fi
"$bin/knot_bake_bench"
[ -x "$bin/embree_yardstick_bench" ] && "$bin/embree_yardstick_bench"

# The baker end to end: import, tables, the AO pass and the file.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bin/make_torus_knot" "$work/knot.obj"
for threads in 1 2; do
  start=$(date +%s.%N)
  TAMSINK_THREADS=$threads "$bin/tamsink" bake "$work/knot.obj" --size 1024 --mode ao \
    --samples 16 --distance 150 --out "$work/knot_ao_$threads.bmp" --quiet
  end=$(date +%s.%N)
  echo "tamsink bake knot.obj --size 1024 --mode ao --samples 16 --distance 150, $threads thread(s): $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }') s"
done
cmp "$work/knot_ao_1.bmp" "$work/knot_ao_2.bmp" && echo "1 and 2 threads: identical files"

#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds Tamsink and bakes the bundled example
# scene's ground in all four modes into out/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target tamsink Tamsink tamsink_host
mkdir -p out
build/release/bin/tamsink bake examples/scene.obj --object ground --size 256 \
  --mode normal,shade,shadow,ao --light 1,2,1 --samples 20 --distance 100 \
  --out 'out/ground_{mode}.bmp'

#!/usr/bin/env bash
# Photographs the plug-in's real dialog under Wine, once on each of its four
# tabs, into docs/: windows-dialog-<mode>.png, and all four side by side in
# windows-dialog.png. Builds the Windows binaries first when they are missing;
# makes its own Wine prefix, X server and Wine server and removes them again.
#
#   scripts/windows/screenshot.sh [--no-setup]
set -euo pipefail
cd "$(dirname "$0")/../.."
[ "${1:-}" = "--no-setup" ] || scripts/windows/setup.sh
for tool in /usr/bin/import /usr/bin/convert /usr/bin/montage; do
  [ -x "$tool" ] || { echo "screenshot: $tool is missing (imagemagick)" >&2; exit 1; }
done

source scripts/windows/wine-env.sh
bin="$TAMSINK_WINDOWS_BUILD/bin"
[ -f "$bin/dialog_screenshot.exe" ] || scripts/windows/build.sh

export WINEPREFIX="$TAMSINK_WINDOWS_BUILD/wineprefix-screenshot"
export TAMSINK_WINE_TIMEOUT=90
work="$(mktemp -d)"
trap 'wine_stop; rm -rf "$work"' EXIT
wine_start 800x600x24

modes=(normal shade shadow ao)
shots=()
for tab in 0 1 2 3; do
  ready="$work/ready-$tab"
  done_file="$work/done-$tab"
  wine_run "$bin/dialog_screenshot.exe" "$bin/Tamsink.dll" "$bin/tamsink_host.dll" "$tab" "$ready" "$done_file" \
    </dev/null >/dev/null 2>&1 &
  runner=$!
  for _ in $(seq 1 300); do
    [ -s "$ready" ] && break
    sleep 0.1
  done
  if [ ! -s "$ready" ]; then
    echo "screenshot: the dialog did not open on tab $tab" >&2
    kill "$runner" 2>/dev/null || true
    exit 1
  fi
  read -r x y width height <"$ready"
  shot="docs/windows-dialog-${modes[$tab]}.png"
  /usr/bin/import -window root -crop "${width}x${height}+${x}+${y}" +repage "$shot"
  touch "$done_file"
  wait "$runner" || { echo "screenshot: the dialog on tab $tab did not end cleanly" >&2; exit 1; }
  shots+=("$shot")
  echo "screenshot: $shot (${width} x ${height})" >&2
done
/usr/bin/montage "${shots[@]}" -tile 4x1 -geometry +8+8 -background '#d0d0d0' docs/windows-dialog.png
echo "screenshot: docs/windows-dialog.png" >&2

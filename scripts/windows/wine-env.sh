# Sourced by the Windows scripts: where the Windows build lives and how Wine
# runs it. One prefix under the build folder, one X server and one persistent
# wineserver serve a whole run; wine_start makes them and wine_stop removes
# them again, prefix included.
#
#   TAMSINK_WINDOWS_BUILD  the build folder (build/windows)
#   WINEPREFIX             $TAMSINK_WINDOWS_BUILD/wineprefix unless set
#   TAMSINK_WINE_TIMEOUT   seconds one program may run under Wine (120)

TAMSINK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export TAMSINK_WINDOWS_BUILD="${TAMSINK_WINDOWS_BUILD:-$TAMSINK_ROOT/build/windows}"
export WINEPREFIX="${WINEPREFIX:-$TAMSINK_WINDOWS_BUILD/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No desktop integration, no Mono or Gecko installers while the prefix is made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree=d;mshtml=d}"
# The ANSI code page follows LC_CTYPE: Japanese, so that the plug-in's code
# page 932 texts read back as themselves. Messages stay in English.
export LC_CTYPE=ja_JP.UTF-8
export LANG=C.UTF-8
unset LC_ALL
export TAMSINK_WINE_TIMEOUT="${TAMSINK_WINE_TIMEOUT:-120}"

# The 64-bit loader and server; Debian's wine64 keeps them off PATH.
TAMSINK_WINE=/usr/lib/wine/wine64
TAMSINK_WINESERVER=/usr/lib/wine/wineserver64
[ -x "$TAMSINK_WINE" ] || TAMSINK_WINE="$(command -v wine64 || true)"
[ -x "$TAMSINK_WINESERVER" ] || TAMSINK_WINESERVER="$(command -v wineserver || true)"
export TAMSINK_WINE TAMSINK_WINESERVER
export WINESERVER="$TAMSINK_WINESERVER"

TAMSINK_XVFB_PID=""
TAMSINK_WINESERVER_PID=""

# Runs one Windows program, never longer than TAMSINK_WINE_TIMEOUT: an
# undriven modal dialog would wait for ever.
wine_run() {
  timeout --kill-after=10 "$TAMSINK_WINE_TIMEOUT" "$TAMSINK_WINE" "$@"
}

# Adds a registry value in the prefix: wine_reg KEY NAME TYPE DATA.
wine_reg() {
  wine_run reg add "$1" /v "$2" /t "$3" /d "$4" /f </dev/null >/dev/null 2>&1
}

# Starts an X server on a free display (SCREEN, e.g. 1024x768x24), creates
# the prefix and starts the persistent wineserver.
wine_start() {
  local screen="${1:-1024x768x24}"
  local fd_file
  fd_file="$(mktemp)"
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  TAMSINK_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$fd_file" ] && break
    sleep 0.1
  done
  [ -s "$fd_file" ] || { echo "windows: Xvfb did not start" >&2; rm -f "$fd_file"; return 1; }
  export DISPLAY=":$(head -n1 "$fd_file")"
  rm -f "$fd_file"

  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # The prefix first, with a server of its own that ends with it; then the
  # persistent server for the run. (Started the other way round, Wine's
  # services are started twice and every desktop waits ten seconds for a
  # service that never comes.) Daemons keep no descriptor of the caller's,
  # so that a pipe reading this script's output sees its end.
  timeout 300 "$TAMSINK_WINE" wineboot -i </dev/null >/dev/null 2>&1
  timeout 60 "$TAMSINK_WINESERVER" -w
  "$TAMSINK_WINESERVER" -p </dev/null >/dev/null 2>&1
  # The templates' font is not installed: the proportional IPA Gothic takes
  # its place, so that Japanese captions have glyphs.
  wine_reg 'HKCU\Software\Wine\Fonts\Replacements' 'ＭＳ Ｐゴシック' REG_SZ IPAPGothic
  # One virtual desktop holds every window. Without a window manager Wine
  # waits two seconds for every top-level window it hides; inside the
  # desktop it does not, and the dialog gets its title bar (the caption
  # buttons are drawn with the Marlett font).
  wine_reg 'HKCU\Software\Wine\Explorer' Desktop REG_SZ Default
  wine_reg 'HKCU\Software\Wine\Explorer\Desktops' Default REG_SZ "${TAMSINK_WINE_DESKTOP:-640x480}"
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
}

# Ends every process of the prefix, the server and the X server, and removes
# the prefix. Safe to call more than once, and when wine_start failed halfway.
wine_stop() {
  if [ -n "$TAMSINK_WINESERVER" ] && [ -d "$WINEPREFIX" ]; then
    "$TAMSINK_WINESERVER" -k >/dev/null 2>&1 || true
    timeout 30 "$TAMSINK_WINESERVER" -w >/dev/null 2>&1 || true
  fi
  if [ -n "$TAMSINK_XVFB_PID" ]; then
    kill "$TAMSINK_XVFB_PID" 2>/dev/null || true
    wait "$TAMSINK_XVFB_PID" 2>/dev/null || true
    TAMSINK_XVFB_PID=""
  fi
  rm -rf "$WINEPREFIX"
}

#!/usr/bin/env bash
# Installs what the Windows build and its tests under Wine need on a Debian
# machine: MinGW-w64 (posix threads), 64-bit Wine, Xvfb, the Japanese IPA
# fonts and the ja_JP.UTF-8 locale (Wine's code page 932), and the sources of
# GoogleTest and the tinyobjloader header the Windows build compiles itself.
# With --screenshot also what scripts/windows/screenshot.sh needs. Installs
# nothing when it is all there already.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libtinyobjloader-dev g++-mingw-w64-x86-64-posix wine64
          xvfb xauth fonts-ipafont-gothic locales)
if [ "${1:-}" = "--screenshot" ]; then
  packages+=(imagemagick fonts-wine)
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "windows setup: installing ${missing[*]}" >&2
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine takes its ANSI code page from LC_CTYPE: ja_JP.UTF-8 gives 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "windows setup: generating the ja_JP.UTF-8 locale" >&2
  $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

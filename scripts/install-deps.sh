#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine: idempotent, no prompts.
set -euo pipefail

packages=(
  cmake make
  mingw-w64 g++-mingw-w64-x86-64
  wine wine64 fonts-wine
  xvfb x11-utils imagemagick
  googletest
  tcl dpkg-dev
  nsis zip unzip
  sqlite3 chromium
  clang libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  echo "Installing: ${missing[*]}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

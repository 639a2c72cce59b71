#!/usr/bin/env bash
# Makes SQLite's amalgamation from Debian's source package into a cache folder: idempotent, no prompts.
# Usage: fetch-sqlite-source.sh CACHE_DIR PINNED_VERSION   (for example build/sqlite-3.40.1 3.40.1)
set -euo pipefail

cache=$(realpath -m "${1:?cache folder}")
pinned=${2:?pinned upstream version}

if [ -f "$cache/sqlite3.c" ] && [ -f "$cache/sqlite3.h" ] && [ -f "$cache/DEBIAN_VERSION" ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
apt_env=(env DEBIAN_FRONTEND=noninteractive)

mkdir -p "$(dirname "$cache")"
# Two builds configuring at once must not both fetch into the same folder.
exec 9>"$cache.lock"
flock 9
if [ -f "$cache/sqlite3.c" ] && [ -f "$cache/sqlite3.h" ] && [ -f "$cache/DEBIAN_VERSION" ]; then
  exit 0
fi

# Making the amalgamation needs a host C compiler, make and tclsh; unpacking needs dpkg-source.
needed=()
command -v cc >/dev/null || needed+=(gcc libc6-dev)
command -v make >/dev/null || needed+=(make)
command -v tclsh >/dev/null || needed+=(tcl)
command -v dpkg-source >/dev/null || needed+=(dpkg-dev)
command -v xz >/dev/null || needed+=(xz-utils)

# Source packages need a deb-src entry; derive it from the machine's own entry, in a file of its own.
if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  origin=/etc/apt/sources.list.d/debian.sources
  if [ ! -f "$origin" ]; then
    echo "fetch-sqlite-source: no deb-src entry and no $origin to derive one from" >&2
    exit 1
  fi
  sed 's/^Types: deb$/Types: deb-src/' "$origin" | $sudo tee /etc/apt/sources.list.d/orlenta-deb-src.sources >/dev/null
fi
$sudo "${apt_env[@]}" apt-get update -qq
if ((${#needed[@]})); then
  echo "fetch-sqlite-source: installing ${needed[*]}"
  $sudo "${apt_env[@]}" apt-get install -y -qq --no-install-recommends "${needed[@]}" >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# apt downloads as the user _apt, which must be able to write there.
if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then chown _apt "$work"; fi
cd "$work"
apt-get source --download-only -qq sqlite3 >/dev/null
dsc=$(ls sqlite3_*.dsc)
debian_version=$(sed -n 's/^Version: //p' "$dsc")
upstream=${debian_version#*:}
upstream=${upstream%%-*}
if [ "$upstream" != "$pinned" ]; then
  echo "fetch-sqlite-source: Debian offers SQLite $debian_version, but the build is pinned to $pinned" >&2
  exit 1
fi
# The .dsc's own signature cannot be checked without Debian's keyring, so dpkg-source warns;
# apt has already checked every file against the signed index. Show its output only on failure.
if ! log=$(dpkg-source -x "$dsc" src 2>&1); then
  echo "$log" >&2
  exit 1
fi
cd src
# The amalgamation is made by host tools; CMake hands its cross compiler down in CC, so drop that.
host_env=(env -u CC -u CXX -u CPP -u CFLAGS -u CPPFLAGS -u LDFLAGS -u RC CC=cc)
"${host_env[@]}" ./configure >/dev/null
"${host_env[@]}" make sqlite3.c >/dev/null
grep -q "#define SQLITE_VERSION *\"$pinned\"" sqlite3.h || {
  echo "fetch-sqlite-source: the made sqlite3.h does not carry version $pinned" >&2
  exit 1
}

# Fill a sibling folder and rename it, so an interrupted run never leaves a half cache behind.
staging="$cache.tmp"
rm -rf "$staging"
mkdir -p "$staging"
cp sqlite3.c sqlite3.h sqlite3ext.h "$staging/"
echo "$debian_version" >"$staging/DEBIAN_VERSION"
rm -rf "$cache"
mv "$staging" "$cache"
echo "fetch-sqlite-source: SQLite $debian_version amalgamation in $cache"

#!/usr/bin/env bash
# Makes SQLite's amalgamation (sqlite3.c, sqlite3.h) in the folder given, from
# Debian's own sqlite3 source package: Debian ships no SQLite for mingw. The
# package is fetched with apt-get source through a private sources list and
# package lists, so the machine's apt configuration stays as it is.
# Usage: scripts/fetch_sqlite_source.sh <output folder>
set -euo pipefail

out=$1
mkdir -p "$out"
out=$(cd "$out" && pwd)
[ -f "$out/sqlite3.c" ] && [ -f "$out/sqlite3.h" ] && exit 0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/archives/partial"
echo "deb-src http://deb.debian.org/debian bookworm main" >"$work/sources.list"
apt_options=(
  -o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=-"
  -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives"
  -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Sandbox::User=root"
)
apt-get "${apt_options[@]}" -qq update
(cd "$work" && apt-get "${apt_options[@]}" -qq --download-only source sqlite3)
dsc=$(ls "$work"/sqlite3_*.dsc)
# apt-get has checked the files against the signed package index already.
(cd "$work" && dpkg-source --no-check -x "$dsc" src >/dev/null)

src="$work/src"
if [ -f "$src/sqlite3.c" ]; then
  cp "$src/sqlite3.c" "$src/sqlite3.h" "$out/"
  exit 0
fi
# The source tree makes the amalgamation with its own Tcl scripts.
command -v tclsh >/dev/null || { echo "fetch_sqlite_source: tclsh is needed (package tcl)" >&2; exit 1; }
mkdir "$work/build"
(cd "$work/build" && "$src/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
cp "$work/build/sqlite3.c" "$work/build/sqlite3.h" "$out/"

#!/bin/sh
# make DIR: a fresh Wine prefix in DIR; remove DIR: ends its wineserver and deletes it.
set -eu
action=$1
export WINEPREFIX="$2"
case "$action" in
  make)
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    wineserver -w
    ;;
  remove)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    ;;
  *)
    echo "usage: $0 make|remove DIR" >&2
    exit 2
    ;;
esac

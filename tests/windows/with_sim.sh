#!/bin/sh
# with_sim.sh MKV_SIM PROGRAM ARGS...: runs PROGRAM under Wine against a
# fresh mkv-sim with one blank tag (or the tags QLMKV_SIM_TAGS gives, such
# as "--tags 0 --conveyor 5,10"). Its pseudo-terminal becomes COM5 in
# Wine's port table (a number Wine does not hand out itself), its TCP port on
# loopback is named in QLMKV_SIM_TCP, the file it records every tag write to
# in QLMKV_SIM_RECORD. With QLMKV_SIM_HANGUP_AFTER=N the simulator ends once
# N writes reached its tag, as an unplugged reader would. The simulator and
# the wineserver end with the script.
set -eu
sim=$1
shift
if [ ! -x "$sim" ]; then
  echo "no mkv-sim at $sim: build it with the default preset (QLMKV_HOST_BIN names its folder)" >&2
  exit 1
fi
work=$(mktemp -d)
# shellcheck disable=SC2086 # the tag options are words
"$sim" --pty --tcp 0 ${QLMKV_SIM_TAGS:---tags 1} --record "$work/record" --quiet >"$work/out" 2>"$work/err" &
sim_pid=$!
watch_pid=
finish() {
  [ -z "$watch_pid" ] || kill "$watch_pid" 2>/dev/null || true
  kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

tries=0
until grep -q '^TCP ' "$work/out" 2>/dev/null; do
  tries=$((tries + 1))
  if [ "$tries" -gt 100 ] || ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "mkv-sim did not come up:" >&2
    cat "$work/err" >&2
    exit 1
  fi
  sleep 0.1
done
pty=$(sed -n 's/^PTY //p' "$work/out")
tcp=$(sed -n 's/^TCP //p' "$work/out")

if [ -n "${QLMKV_SIM_HANGUP_AFTER:-}" ]; then
  (
    until [ "$(wc -l 2>/dev/null <"$work/record" || echo 0)" -ge "$QLMKV_SIM_HANGUP_AFTER" ]; do sleep 0.05; done
    kill "$sim_pid"
  ) &
  watch_pid=$!
fi

wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$pty" /f >/dev/null 2>&1
# Wine reads its port table when its server starts.
wineserver -k 2>/dev/null || true
wineserver -w

QLMKV_SIM_COM=COM5 QLMKV_SIM_TCP="127.0.0.1-$tcp" QLMKV_SIM_RECORD="Z:$(printf '%s' "$work/record" | tr / '\\')" \
  wine "$@"

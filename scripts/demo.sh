#!/usr/bin/env bash
# The main job on the simulated reader. Installs what is missing, builds, then:
# with a display, the desktop program in demo mode (press "Zyklisch" in
# "Schreiben"); without one (or with --cli), a cyclic write of 20 tags by the
# command line tool on a simulated conveyor, printing the status lines and the
# write log.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null

# Only what the demo runs is built (the tests build everything): the desktop
# program when a display is there to show it, else the command line tool.
gui=no
[ "${1:-}" != "--cli" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && gui=yes
targets=(stampwise-cli mkv-sim)
[ "$gui" = yes ] && targets+=(stampwise)
cmake --build --preset default -j "$(nproc)" --target "${targets[@]}"

bin=build/bin
work=$(mktemp -d)
sim_pid=""
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}
cleanup() {
  stop_sim
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$gui" = yes ]; then
  # Qt wants a private runtime folder; a root shell often has none.
  if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
  fi
  "$bin/stampwise" --demo
  exit
fi

# Starts mkv-sim on a pseudo-terminal with the given options; sets $pty.
start_sim() {
  "$bin/mkv-sim" --pty --quiet "$@" >"$work/sim.out" &
  sim_pid=$!
  pty=""
  for _ in $(seq 50); do
    pty=$(awk '/^PTY /{print $2; exit}' "$work/sim.out" 2>/dev/null)
    [ -n "$pty" ] && return 0
    sleep 0.1
  done
  echo "mkv-sim did not start" >&2
  exit 1
}

cli() { "$bin/stampwise-cli" --settings "$work/settings.ini" --port "$pty" "$@"; }

echo "== one tag resting on a simulated reader"
start_sim --tags 1
echo "reader on $pty"
cli info
cli write --bank user --start 0 --length 4 --format hex-bin --value 0000CAFE --inc off
echo -n "read back: "
cli read
stop_sim

echo
echo "== cyclic write of 20 tags on a simulated conveyor"
# A blank tag enters the field every 300 ms and leaves 200 ms after it was written.
start_sim --conveyor 300,200 --record "$work/written.txt"
cli write --bank user --start 0 --length 8 --format dec-ascii --value 1000 --inc dec \
  --write-log "$work/Protokoll_S.txt" --cycle --count 20 --period 100
stop_sim

echo
echo "== write log"
tr -d '\r' <"$work/Protokoll_S.txt"
echo
echo "== what reached the tags (simulator record)"
cat "$work/written.txt"

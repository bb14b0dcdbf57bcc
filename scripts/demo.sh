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
cmake --build --preset default -j "$(nproc)"

bin=build/bin
if [ "${1:-}" != "--cli" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/stampwise" ]; then
  exec "$bin/stampwise" --demo
fi

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A conveyor puts a blank tag into the field every 300 ms and takes it away
# 200 ms after it was written.
"$bin/mkv-sim" --pty --conveyor 300,200 --record "$work/written.txt" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do
  grep -q '^PTY ' "$work/sim.out" 2>/dev/null && break
  sleep 0.1
done
pty=$(awk '/^PTY /{print $2; exit}' "$work/sim.out")
[ -n "$pty" ] || { echo "mkv-sim did not start" >&2; exit 1; }

cli=("$bin/stampwise-cli" --settings "$work/settings.ini" --port "$pty")
echo "== simulated reader on $pty"
"${cli[@]}" info
echo
echo "== cyclic write of 20 tags"
"${cli[@]}" write --bank user --start 0 --length 8 --format dec-ascii --value 1000 --inc dec \
  --write-log "$work/Protokoll_S.txt" --cycle --count 20 --period 100
echo
echo "== write log"
tr -d '\r' <"$work/Protokoll_S.txt"
echo
echo "== what reached the tags (simulator record)"
cat "$work/written.txt"

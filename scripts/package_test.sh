#!/usr/bin/env bash
# Installs the Debian package built by scripts/package.sh on this machine,
# uses what it installed, purges it and checks that nothing of it is left.
# Runs only in CI (CI=true, as root, on a machine of its own); elsewhere it
# says so and does nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${CI:-}" != true ] || [ "$(id -u)" -ne 0 ]; then
  echo "package install test: skipped (it installs into the system: only in CI, as root)"
  exit 0
fi
package=$(ls "$PWD"/build-package/package/*.deb)
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The package's files (not its folders, which it shares with the system).
dpkg-deb --fsys-tarfile "$package" | tar -t | grep -v '/$' | sed -e 's|^\./|/|' >"$work/files"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$package" >/dev/null
echo "installed: $(dpkg-query -W -f='${Package} ${Version}' qlmkv-stampwise)"

cd "$work"
stampwise-cli --version
# A write and a read against the installed simulated reader.
mkv-sim --pty --tags 1 --quiet >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do grep -q '^PTY ' "$work/sim.out" && break; sleep 0.1; done
pty=$(sed -n 's/^PTY //p' "$work/sim.out")
[ -n "$pty" ] || { echo "mkv-sim did not start"; exit 1; }
settings="$work/settings.ini"
stampwise-cli --settings "$settings" --port "$pty" write --bank user --start 0 --length 4 --format hex-bin \
  --inc off --value 0000ABCD
[ "$(stampwise-cli --settings "$settings" --port "$pty" read)" = 0000ABCD ] || { echo "read back differs"; exit 1; }
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=

# The English texts come from the installed private folder.
english=$(stampwise-cli --settings "$settings" --lang en --port /dev/nonexistent-reader info 2>&1 || true)
german=$(stampwise-cli --settings "$settings" --lang de --port /dev/nonexistent-reader info 2>&1 || true)
[ -n "$english" ] && [ "$english" != "$german" ] || { echo "stampwise-cli --lang en: no English texts"; exit 1; }
printf '[Settings]\r\nSprache=1\r\n' >"$work/english.ini"
# The window stays open (it waits for the operator), so it is ended after a while.
(LD_DEBUG=files QT_QPA_PLATFORM=offscreen timeout -k 2 -s TERM 5 stampwise --settings "$work/english.ini" \
  >/dev/null 2>"$work/gui.log" || true) 2>/dev/null
grep -q "stampwise/QL_MKV_StampwiseEng.so" "$work/gui.log" || { echo "stampwise did not load its English library"; exit 1; }
echo "installed programs work; the English library is found"

apt-get purge -y -qq qlmkv-stampwise >/dev/null
if dpkg-query -W -f='${Status}' qlmkv-stampwise 2>/dev/null | grep -q installed; then
  echo "still installed after purge"; exit 1
fi
left=0
while read -r path; do
  [ -f "$path" ] || [ -L "$path" ] || continue
  echo "left after purge: $path"; left=1
done <"$work/files"
[ "$left" -eq 0 ] || exit 1
echo "purged: nothing of the package is left"

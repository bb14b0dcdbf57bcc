#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the demo need.
# Idempotent; run as root (or through sudo) on Debian 12.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang clang-format libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libudev-dev libhidapi-dev libcurl4-openssl-dev libasound2-dev
  libcli11-dev nlohmann-json3-dev libsqlite3-dev libmodbus-dev libpq-dev postgresql libmosquitto-dev
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev fonts-dejavu-core
  qt6-charts-dev libqt6opengl6-dev
  socat xvfb xauth iproute2 procps util-linux python3 openssl python3-pymodbus python3-serial-asyncio
  mosquitto mosquitto-clients python3-jsonschema chromium
  g++-mingw-w64-x86-64-posix wine64 wine tcl
  dpkg-dev file lintian desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

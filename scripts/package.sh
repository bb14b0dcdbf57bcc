#!/usr/bin/env bash
# Builds the Debian package of QL-MKV Stampwise with Debian's build flags into
# build-package/package/ and checks it: lintian (errors fail; the warnings
# left are listed with their reasons in the README), the desktop entry and
# the AppStream metainfo. Prints the path of the package last.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cflags="$(dpkg-buildflags --get CFLAGS) $cppflags"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DQLMKV_TESTS=OFF -DQLMKV_BENCH=OFF -DQLMKV_WERROR=ON \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags"
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/package/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/package/*.deb)

echo "== checking $package"
desktop-file-validate packaging/org.example.stampwise.desktop
appstreamcli validate --no-net --pedantic "$build"/packaging/org.example.stampwise.metainfo.xml
lintian --fail-on error --info "$package"
echo "package: $package"

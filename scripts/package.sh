#!/usr/bin/env bash
# Builds the Debian package corvane_VERSION_ARCH.deb into the top folder (CPack in the build folder,
# installed to /usr) and checks it with lintian. Install it with: apt-get install ./corvane_*.deb
#   CORVANE_BUILD_DIR  the build folder to use (default build; an existing one is reused)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build_dir=${CORVANE_BUILD_DIR:-build}
# The program compares its own folder with the install folder: it must be built for /usr.
generator=()
[ -f "$build_dir/CMakeCache.txt" ] || generator=(-G Ninja)
cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
scripts/build.sh
(cd "$build_dir" && cpack -G DEB >/dev/null)
package=$(ls -t "$build_dir"/corvane_*.deb | head -n 1)
cp "$package" .
package=$(basename "$package")
echo "Built $package ($(du -k "$package" | cut -f1) KiB)"
lintian --fail-on error,warning "$package"

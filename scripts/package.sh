#!/usr/bin/env bash
# Builds the Debian package of the player: build/package/mavu_<version>_<arch>.deb.
# Install it with `sudo apt install ./build/package/mavu_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset package
cmake --build --preset package --parallel "$(nproc)"
cpack --preset deb
ls -1 build/package/*.deb

#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test headless.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh" default
cd "$here"
export QT_QPA_PLATFORM=offscreen
ctest --preset default -j2 --timeout 300

#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs quarzel on the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh release >/dev/null 2>&1 || scripts/build.sh release
exec build/release/app/quarzel "$@"

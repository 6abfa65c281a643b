#!/usr/bin/env bash
# Installs what is missing, builds, and starts the application. Arguments are
# passed on (model or project files to open).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
exec ./build/src/kalo3d "$@"

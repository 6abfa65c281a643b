#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (the GUI tests under Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)" "$@"

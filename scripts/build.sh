#!/usr/bin/env bash
# Configures and builds both trees: native (the local catalogue service, the portable core's
# tests under the sanitizers) and windows (lanzifang.exe and its tests).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"

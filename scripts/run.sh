#!/usr/bin/env bash
# Sets up, builds and starts the editor edition; file names given are passed on.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"
"$root/scripts/setup.sh" "$build"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build"
exec "$build/vorn-pdf" --vorn-product=editor "$@"

#!/usr/bin/env bash
# Sets up, builds (with AddressSanitizer and UndefinedBehaviorSanitizer) and runs the whole
# test suite. Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
build="$root/build-test"
export QT_QPA_PLATFORM=offscreen
"$root/scripts/setup.sh" "$build" -DCMAKE_BUILD_TYPE=Debug -DVEXMOOR_SANITIZE=ON -DVEXMOOR_TESTS=ON
cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 300

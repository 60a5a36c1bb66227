#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (no display needed).
#   scripts/test.sh             the program's tests (build/)
#   scripts/test.sh --sanitize  the libraries and tests that need no window, built with
#                               AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize/)
#   scripts/test.sh --fuzz      the same with clang, plus a 30 s run of each fuzz
#                               harness; findings land in tests/data/fuzz/ (build-fuzz/)
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:-}"
case "$mode" in
  "")
    scripts/install-deps.sh
    scripts/build.sh
    folder=build ;;
  --sanitize)
    scripts/install-deps.sh
    cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLARKSPAN_SANITIZE=ON >/dev/null
    cmake --build build-sanitize -j"$(nproc)"
    folder=build-sanitize ;;
  --fuzz)
    scripts/install-deps.sh --with-fuzzer
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLARKSPAN_FUZZ=ON >/dev/null
    cmake --build build-fuzz -j"$(nproc)"
    folder=build-fuzz ;;
  *)
    echo "usage: scripts/test.sh [--sanitize | --fuzz]" >&2
    exit 64 ;;
esac
source scripts/loopback-env.sh
export QT_QPA_PLATFORM=offscreen
cd "$folder"
ctest --output-on-failure -j2 --timeout 600

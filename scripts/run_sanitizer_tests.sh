#!/usr/bin/env bash
# The C++ suites under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# concurrency tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

configure() {  # build dir, extra cmake arguments...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DNK_BUILD_TESTS=ON -DNK_BUILD_PYTHON=OFF "$@" >/dev/null
  cmake --build "$dir"
}

echo "== C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer"
configure build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNK_SANITIZE=address,undefined
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j2 | tail -n 15

echo "== concurrency tests under ThreadSanitizer"
configure build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNK_SANITIZE=thread
TSAN_OPTIONS=halt_on_error=1 \
  ctest --test-dir build/tsan --output-on-failure -j2 -R 'Thread|Concurren|ShardedMap' | tail -n 15

#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test: the C++ suites, the
# C++ suites again under AddressSanitizer + UndefinedBehaviorSanitizer, the
# concurrency tests under ThreadSanitizer, then the Python package's tests
# against a fresh install of the package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

configure() {  # build dir, extra cmake arguments...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DNK_BUILD_TESTS=ON -DNK_BUILD_PYTHON=OFF -Wno-dev "$@" >/dev/null
  cmake --build "$dir"
}

echo "== C++ tests"
configure build/tests -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build/tests --output-on-failure -j2 | tail -n 15

echo "== C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer"
configure build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNK_SANITIZE=address,undefined
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j2 | tail -n 15

echo "== concurrency tests under ThreadSanitizer"
configure build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNK_SANITIZE=thread
TSAN_OPTIONS=halt_on_error=1 \
  ctest --test-dir build/tsan --output-on-failure -j2 -R 'Thread|Concurren|ShardedMap' | tail -n 15

echo "== Python tests"
python3 -m pip install -q --no-build-isolation .
python3 -m pytest tests/python -q

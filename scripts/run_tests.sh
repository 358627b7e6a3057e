#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test: the C++ suites, then
# the Python package's tests against a fresh install of the package.
# NK_SANITIZER_TESTS=1 adds the sanitizer builds (scripts/run_sanitizer_tests.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== C++ tests"
cmake -S . -B build/tests -G Ninja -DNK_BUILD_TESTS=ON -DNK_BUILD_PYTHON=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >/dev/null
cmake --build build/tests
ctest --test-dir build/tests --output-on-failure -j2 | tail -n 15

if [ "${NK_SANITIZER_TESTS:-0}" = 1 ]; then
  bash scripts/run_sanitizer_tests.sh
fi

echo "== Python tests"
python3 -m pip install -q --no-build-isolation .
python3 -m pytest tests/python -q

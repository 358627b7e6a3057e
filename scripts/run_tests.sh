#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test: the C++ suites, then
# the Python package's tests against a fresh install of the package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build=build/tests
cmake -S . -B "$build" -G Ninja -DNK_BUILD_TESTS=ON -DNK_BUILD_PYTHON=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2 | tail -n 15

python3 -m pip install -q --no-build-isolation .
python3 -m pytest tests/python -q

#!/usr/bin/env bash
# Sets up the machine, installs nkpi, then compiles and loads the example
# program, showing the engine's log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
python3 -m pip install -q --no-build-isolation .
python3 -m nkpi run examples/fib.nkir --log-level trace

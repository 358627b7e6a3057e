#!/usr/bin/env bash
# Extra tools for benchmarks and fuzzing: LLVM's command-line tools, clang with
# libFuzzer, and llvmlite.
set -euo pipefail
bash "$(dirname "$0")/setup.sh"
missing=()
for p in llvm clang libclang-rt-14-dev; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
python3 -c "import llvmlite" 2>/dev/null || python3 -m pip install -q llvmlite

#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian machine (as root):
# the compiler toolchain and libraries, then the Python build and test tools.
set -euo pipefail

apt_packages=(g++ cmake ninja-build pkg-config libzstd-dev libboost-dev libfmt-dev libgtest-dev ccache git)
missing=()
for p in "${apt_packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

python3 - <<'PY' || python3 -m pip install -q "scikit-build-core>=0.8" "cmake>=3.20" ninja pytest
import importlib.util, sys
sys.exit(0 if all(importlib.util.find_spec(m) for m in ("scikit_build_core", "pytest")) else 1)
PY

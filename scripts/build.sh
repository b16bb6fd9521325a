#!/usr/bin/env bash
# Installs what is missing, configures and builds into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCUSTOMFOLDER_WERROR=ON >/dev/null
cmake --build build --parallel "$(nproc)"

#!/usr/bin/env bash
# The main job: install, build everything, and smooth the bundled sample cel into out/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build-all.sh
mkdir -p out
cd out
../build/cli/tovrin-smooth

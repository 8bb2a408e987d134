#!/usr/bin/env bash
# Installs the tovrin module from a copy of the source tree into a throwaway venv as the README
# shows (offline, with Debian's setuptools and pybind11), then runs the Python tests against the
# installed module.
# Usage: pip_install_test.sh SOURCE_DIR PYTHON
set -euo pipefail
source=$1
python=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/src"
cp -r "$source"/{setup.py,pyproject.toml,python,lib,engine,coverage,host} "$work/src/"
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install --quiet --no-build-isolation --no-index --no-cache-dir "$work/src"

cd "$work"
unset PYTHONPATH
"$work/venv/bin/python" -c 'import sys, tovrin; assert tovrin.__file__.startswith(sys.prefix)'
"$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$source/python/tests"

#!/usr/bin/env bash
# Installs the package as a user does, with pip and no network, into a throwaway virtual
# environment that sees Debian's packages, and runs the package's tests against that install.
set -euo pipefail
source=$(cd "$(dirname "$0")/../.." && pwd)
venv=$(mktemp -d)
trap 'rm -rf "$venv"' EXIT
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/pip" install -q --no-build-isolation --no-index "$source/python"
cd "$venv"  # away from the sources: the installed package is the one imported
ZORVI_SOURCE_DIR=$source PYTHONDONTWRITEBYTECODE=1 \
    "$venv/bin/python" "$source/python/tests/run_pytest.py" "$source/python/tests"

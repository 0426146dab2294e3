#!/usr/bin/env bash
# Installs the package as a user does, with pip and no network, into a throwaway virtual
# environment that sees Debian's packages, and runs the package's tests against that install;
# then into one that sees none of them, which ends with the one message naming what it lacks.
set -euo pipefail
source=$(cd "$(dirname "$0")/../.." && pwd)
venv=$(mktemp -d)
trap 'rm -rf "$venv"' EXIT
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/pip" install -q --no-build-isolation --no-index "$source/python"
cd "$venv"  # away from the sources: the installed package is the one imported
ZORVI_SOURCE_DIR=$source PYTHONDONTWRITEBYTECODE=1 \
    "$venv/bin/python" "$source/python/tests/run_pytest.py" "$source/python/tests"

bare=$(mktemp -d)
trap 'rm -rf "$venv" "$bare"' EXIT
/usr/bin/python3 -m venv "$bare"
if "$bare/bin/pip" install -q --no-build-isolation --no-index "$source/python" >"$bare/log" 2>&1; then
    echo "pip installed zorvi into an environment without its build requirements" >&2
    exit 1
fi
grep -q "zorvi cannot be built with $bare/bin/python3 (Python [0-9.]*): it lacks .*NumPy.*apt install" \
    "$bare/log" || { cat "$bare/log"; exit 1; }

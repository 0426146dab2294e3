"""Runs the package's tests with pytest; fails, saying why, when pytest is missing."""

import sys

try:
    import pytest
except ImportError:
    sys.exit("the Python tests need pytest: install python3-pytest (scripts/install-deps)")

sys.exit(pytest.main(["-q", "-p", "no:cacheprovider", *sys.argv[1:]]))

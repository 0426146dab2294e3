"""The package's build backend: setuptools', once the build has found what it needs.

pip calls a backend without installing its requirements when told --no-build-isolation, and
an interpreter that lacks one would end in a message about something else ("invalid command
'bdist_wheel'", "No module named 'setuptools'"). This backend looks first, and ends with one
message that names what is missing and how to get it.
"""

import importlib
import importlib.util
import os
import shutil
import sys
import sysconfig

# Where Debian's pybind11-dev puts the CMake package, found there by CMake for any interpreter.
PYBIND11_CMAKE_DIRS = ("/usr/lib/cmake/pybind11", "/usr/share/cmake/pybind11")


def _has_module(name):
    try:
        return importlib.util.find_spec(name) is not None
    except ImportError:  # a parent package is missing
        return False


def _has_python_headers():
    return os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h"))


# What the build and the package need: its name, how to find it, and Debian's package of it.
REQUIREMENTS = (
    ("setuptools", lambda: _has_module("setuptools"), "python3-setuptools"),
    (
        "wheel",
        lambda: _has_module("wheel") or _has_module("setuptools.command.bdist_wheel"),
        "python3-wheel",
    ),
    (
        "pybind11",
        lambda: _has_module("pybind11") or any(map(os.path.isdir, PYBIND11_CMAKE_DIRS)),
        "pybind11-dev",
    ),
    ("NumPy", lambda: _has_module("numpy"), "python3-numpy"),
    ("the Python headers (Python.h)", _has_python_headers, "python3-dev"),
    ("CMake", lambda: shutil.which("cmake") is not None, "cmake"),
    ("a C++ compiler", lambda: bool(shutil.which("c++") or shutil.which("g++")), "g++"),
)


def missing_requirements(requirements=REQUIREMENTS):
    """The (name, Debian package) of each requirement that this interpreter lacks."""
    return [(name, package) for name, present, package in requirements if not present()]


def missing_message(missing, interpreter=None):
    """The one message for an interpreter that lacks `missing`."""
    interpreter = interpreter or sys.executable
    names = ", ".join(name for name, _ in missing)
    packages = " ".join(package for _, package in missing)
    return (
        f"zorvi cannot be built with {interpreter} (Python {sys.version.split()[0]}): it lacks "
        f"{names}. Install Debian's packages (apt install {packages}) and build with Debian's "
        "/usr/bin/python3, or in a virtual environment made from it with "
        "--system-site-packages; or install what is missing into this interpreter."
    )


def __getattr__(hook):
    """Each build hook pip asks for: setuptools' own, once nothing is missing."""
    if hook.startswith("__"):
        raise AttributeError(hook)
    missing = missing_requirements()
    if missing:
        sys.exit(missing_message(missing))
    return getattr(importlib.import_module("setuptools.build_meta"), hook)

"""Builds the compiled part zorvi._core with CMake from the repository, for pip.

The module is built in a build tree of its own (Release, tests off, the library's parts
position-independent) by the interpreter that runs pip, and copied into the package. pip reaches
this file through build_backend.py, which first looks for what the build needs.
"""

import importlib.util
import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

REPOSITORY = pathlib.Path(__file__).resolve().parent.parent


class CMakeBuild(build_ext):
    def build_extension(self, extension):
        tree = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(REPOSITORY), "-B", str(tree),
            "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF", "-DZORVI_PYTHON=ON",
            f"-DPython_EXECUTABLE={sys.executable}",
        ]
        # pybind11 installed as a Python package (pip's) brings its CMake package along.
        if importlib.util.find_spec("pybind11") is not None:
            import pybind11

            configure.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        if shutil.which("ninja") and not (tree / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(tree), "--target", "_core", "-j", jobs], check=True)
        built = next((tree / "python" / "zorvi").glob("_core*.so"))
        target = pathlib.Path(self.get_ext_fullpath(extension.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        self.copy_file(str(built), str(target))


setup(ext_modules=[Extension("zorvi._core", sources=[])], cmdclass={"build_ext": CMakeBuild})

"""Builds the compiled part zorvi._core with CMake from the repository, for pip.

The module is built in a build tree of its own (Release, tests off, the library's parts
position-independent) by the interpreter that runs pip, and copied into the package.
"""

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
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(REPOSITORY), "-B", str(build),
            "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF", "-DZORVI_PYTHON=ON",
            f"-DPython_EXECUTABLE={sys.executable}",
        ]
        if shutil.which("ninja") and not (build / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_core", "-j", jobs], check=True)
        built = next((build / "python" / "zorvi").glob("_core*.so"))
        target = pathlib.Path(self.get_ext_fullpath(extension.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        self.copy_file(str(built), str(target))


setup(ext_modules=[Extension("zorvi._core", sources=[])], cmdclass={"build_ext": CMakeBuild})

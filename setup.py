"""The Python module geneig for pip (pyproject.toml): the package's files
from src/python/geneig, and its compiled part built by the project's own
CMake, so that it carries the solver's compile flags and gives the bits of
every other build."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


def version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(geneig VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        build.mkdir(parents=True, exist_ok=True)
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        "-DGENEIG_BUILD_PYTHON=ON", f"-DPython_EXECUTABLE={sys.executable}"],
                       check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "geneig_python", "-j",
                        str(os.cpu_count() or 1)], check=True)
        built = next((build / "python" / "geneig").glob("_geneig*.so"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=version(),
    packages=["geneig"],
    package_dir={"geneig": "src/python/geneig"},
    package_data={"geneig": ["*.pyi", "py.typed"]},
    ext_modules=[Extension("geneig._geneig", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Away from the CMake build directories (build/, build-*/ are CMake's).
    options={"build": {"build_base": "build-pip"}},
)

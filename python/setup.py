"""Builds the zorv package: CMake builds the extension module zorv._zorv from the source tree
around this folder (the release configuration: x64, optimised, no sanitizers) and assembles
the package folder, with the library, the host runtime's kernel and its extensions, where
setuptools collects it. The CMake tree is build/pip of the source tree, kept between builds."""

import os
import re
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def library_version():
    """The library's own version, as ZORVGetVersion gives it."""
    with open(os.path.join(ROOT, "frame", "entry.cpp"), encoding="utf-8") as f:
        text = f.read()
    body = text[text.index("int32_t ZORVGetVersion(") :]
    a, b, c = re.findall(r"\*[abc] = (\d+);", body)[:3]
    return "%s.%s.%s" % (a, b, c)


class CMakeBuild(build_ext):
    """Builds the package with CMake instead of compiling sources itself."""

    def build_extension(self, ext):
        module = os.path.abspath(self.get_ext_fullpath(ext.name))
        package_parent = os.path.dirname(os.path.dirname(module))
        tree = os.path.join(ROOT, "build", "pip")
        subprocess.check_call(
            [
                "cmake", "-S", ROOT, "-B", tree,
                "-DZORV_WIDTH=x64", "-DZORV_SANITIZE=OFF", "-DZORV_TESTS=OFF",
                "-DZORV_PYTHON=ON", "-DCMAKE_BUILD_TYPE=None",
                "-DPython_EXECUTABLE=" + sys.executable,
                "-DZORV_PYTHON_DIR=" + package_parent,
            ]
        )
        subprocess.check_call(
            ["cmake", "--build", tree, "-j", str(os.cpu_count() or 1),
             "--target", "zorv_python_package"]
        )


setup(
    version=library_version(),
    packages=["zorv"],
    zip_safe=False,
    ext_modules=[Extension("zorv._zorv", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)

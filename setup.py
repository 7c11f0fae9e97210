"""Builds the extension module kvmedia with CMake, which knows how to (python/CMakeLists.txt).

Without KVMEDIA_PREFIX the libraries are built from this tree (without tests, benchmarks or
the Qt panel) and go into the wheel, in kvmedia.libs/ beside the module, which finds them
through its run path: the wheel works in any environment of a system that has their own
dependencies (DevIL, libjpeg, libpng, FFmpeg's libraries). With KVMEDIA_PREFIX=<prefix> only
the module is built, against the KvMediaFile installed there; it keeps that prefix's library
folder as its run path (none for /usr), so that prefix must stay where it is.

Either way the wheel holds what the CMake component `python` installs for the Debian package:
the module, its stub beside it and the stub-only package kvmedia-stubs that mypy finds.
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
VERSION = re.search(r"^project\(KvMediaFile VERSION ([0-9.]+)",
                    (ROOT / "CMakeLists.txt").read_text(), re.M).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        import pybind11

        prefix = os.environ.get("KVMEDIA_PREFIX")
        work = pathlib.Path(self.build_temp).resolve() / ("installed" if prefix else "tree")
        stage = work / "stage"
        options = ["-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                   f"-DPython_EXECUTABLE={sys.executable}",
                   f"-Dpybind11_DIR={pybind11.get_cmake_dir()}", "-DKV_PYTHON_INSTALL_DIR=."]
        if prefix:
            source = ROOT / "python"
            options.append(f"-DCMAKE_PREFIX_PATH={pathlib.Path(prefix).resolve()}")
        else:
            source = ROOT
            options += ["-DKV_TESTS=OFF", "-DKV_BENCH=OFF", "-DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON",
                        "-DCMAKE_INSTALL_LIBDIR=kvmedia.libs"]
        subprocess.run(["cmake", "-S", source, "-B", work / "cmake", *options], check=True)
        subprocess.run(["cmake", "--build", work / "cmake", "--target", "kvmedia_python"],
                       check=True)
        shutil.rmtree(stage, ignore_errors=True)
        # The module and its stubs; from the tree also the runtime libraries.
        for component in ["python"] if prefix else ["python", "core"]:
            subprocess.run(["cmake", "--install", work / "cmake", "--prefix", stage,
                            "--component", component], check=True)

        target = pathlib.Path(self.get_ext_fullpath(ext.name)).parent
        target.mkdir(parents=True, exist_ok=True)
        for name in [pathlib.Path(self.get_ext_filename(ext.name)), pathlib.Path("kvmedia.pyi"),
                     pathlib.Path("kvmedia-stubs", "__init__.pyi")]:
            (target / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(stage / name, target / name)
        if not prefix:
            # Under their sonames, which is what the loader asks for; wheels hold no links.
            libs = target / "kvmedia.libs"
            libs.mkdir(exist_ok=True)
            for library in ("KvMediaFile", "KvHost", "KvPlatform"):
                soname = f"lib{library}.so.{VERSION.split('.')[0]}"
                shutil.copyfile(stage / "kvmedia.libs" / soname, libs / soname)


# Out of the source tree's build/ itself, which is CMake's.
BUILD_BASE = "build/python-wheel"
(ROOT / BUILD_BASE).mkdir(parents=True, exist_ok=True)

setup(
    version=VERSION,
    packages=[],
    py_modules=[],
    ext_modules=[Extension("kvmedia", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}},
    zip_safe=False,
)

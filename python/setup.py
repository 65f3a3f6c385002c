"""Builds the extension kinvar._kinvar over the repository's kinvar_core.

The core is compiled once by CMake from the repository this folder belongs
to, into its folder build-core, which the R package's install uses too (the
second install only checks that it is up to date); or it is taken from
KINVAR_CORE_BUILD, a build of it with position-independent code, the
documented way to build it once for both. The module and the programs share
one copy of every source and the flags that keep results the same bit for
bit. Nothing is downloaded. pip shows the build's progress with -v.
"""

import os
import re
import shlex
import subprocess
import sys
from pathlib import Path

import pybind11
from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
REPOSITORY = HERE.parent
# The core's flags: no contraction into fused multiply-adds, no fast math.
FLAGS = ["-std=c++20", "-O2", "-ffp-contract=off", "-fno-fast-math", "-fvisibility=hidden"]


def project_version():
    """The version of the project(), the one place both packages take it from."""
    text = (REPOSITORY / "CMakeLists.txt").read_text()
    return re.search(r"project\(Kinvar VERSION ([0-9.]+)", text).group(1)


def run(command, **kwargs):
    print(" ".join(shlex.quote(str(part)) for part in command), file=sys.stderr, flush=True)
    # Ninja's "[n/m]" lines go to the standard error too, which pip shows with -v.
    subprocess.run([str(part) for part in command], check=True, stdout=sys.stderr, **kwargs)


def core_build_folder():
    """The folder holding lib/libkinvar_core.a, built here when not given."""
    given = os.environ.get("KINVAR_CORE_BUILD")
    if given:
        folder = Path(given).resolve()
        if not (folder / "lib" / "libkinvar_core.a").exists():
            sys.exit(f"KINVAR_CORE_BUILD={given} holds no lib/libkinvar_core.a")
        return folder
    folder = REPOSITORY / "build-core"
    print(f"Building the Kinvar core in {folder} (a few minutes on two cores; "
          "KINVAR_CORE_BUILD=DIR uses a core built before)", file=sys.stderr, flush=True)
    configure = ["cmake", "-S", REPOSITORY, "-B", folder, "-G", "Ninja",
                 "-DCMAKE_BUILD_TYPE=Release", "-DKINVAR_BUILD_GUI=OFF",
                 "-DKINVAR_BUILD_TESTS=OFF", "-DKINVAR_BUILD_BENCH=OFF",
                 "-DCMAKE_POSITION_INDEPENDENT_CODE=ON"]
    launcher = os.environ.get("CMAKE_CXX_COMPILER_LAUNCHER")
    if launcher:
        configure.append(f"-DCMAKE_CXX_COMPILER_LAUNCHER={launcher}")
    run(configure)
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
    run(["cmake", "--build", folder, "--target", "kinvar_core", "-j", jobs])
    return folder


def pkg_config_libs(*packages):
    out = subprocess.run(["pkg-config", "--libs", *packages], check=True,
                         capture_output=True, text=True).stdout
    return shlex.split(out)


class BuildWithCore(build_ext):
    """Builds kinvar_core first and links the extension with it."""

    def build_extensions(self):
        core = core_build_folder()
        launcher = os.environ.get("CMAKE_CXX_COMPILER_LAUNCHER")
        if launcher:
            self.compiler.compiler_so = [launcher, *self.compiler.compiler_so]
        for extension in self.extensions:
            library = str(core / "lib" / "libkinvar_core.a")
            extension.extra_objects = [library]
            # A rebuilt core must relink the extension.
            extension.depends = [*extension.depends, library]
            extension.extra_link_args = [
                *pkg_config_libs("libzip", "xlsxwriter", "ipopt", "htslib", "openblas"), "-lpugixml", "-llemon", "-pthread"]
        super().build_extensions()


extension = Extension(
    "kinvar._kinvar",
    sources=[str(Path("src") / name) for name in
             ("module.cpp", "cells.cpp", "tables.cpp", "guarded_call.cpp")],
    include_dirs=[pybind11.get_include(), str(REPOSITORY / "src")],
    extra_compile_args=FLAGS,
    language="c++",
)

setup(version=project_version(), ext_modules=[extension], cmdclass={"build_ext": BuildWithCore})

# The pip build of the mcjobs package: setuptools (Debian's python3-setuptools)
# drives CMake, which builds the extension exactly as the CMake build does; the
# metadata lives in pyproject.toml. Everything the build writes goes below
# build/pip (or $MCJOBS_PIP_BUILD_DIR), never into the sources.
import os
import pathlib
import re
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
BUILD_DIR = pathlib.Path(os.environ.get("MCJOBS_PIP_BUILD_DIR") or ROOT / "build" / "pip").resolve()


def project_version():
    """The one version of the project, from project(mcjobs VERSION x.y.z) in CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(\s*mcjobs\s+VERSION\s+([0-9][0-9.]*)", text)
    if not found:
        raise RuntimeError("CMakeLists.txt: no project(mcjobs VERSION x.y.z)")
    return found.group(1)


def pybind11_hint():
    """pybind11's CMake package when it comes from PyPI (an isolated build); Debian's
    pybind11-dev is found by CMake without help."""
    try:
        import pybind11
    except ImportError:
        return []
    return [f"-Dpybind11_DIR={pybind11.get_cmake_dir()}"]


class CMakeBuild(build_ext):
    """Builds mcjobs._mcjobs with CMake (the mcjobs_python target) for this interpreter."""

    def build_extension(self, ext):
        cmake_dir = BUILD_DIR / f"cmake-{sys.implementation.cache_tag}"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(cmake_dir),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DMCJOBS_BUILD_TESTS=OFF", "-DMCJOBS_BUILD_BENCHMARKS=OFF",
            "-DMCJOBS_BUILD_TOOLS=OFF", "-DMCJOBS_BUILD_PYTHON=ON", "-DMCJOBS_INSTALL=OFF",
            # The interpreter pip runs (a venv's), so that the extension fits it.
            f"-DPython_EXECUTABLE={sys.executable}",
            *pybind11_hint(),
        ]
        build = ["cmake", "--build", str(cmake_dir), "--target", "mcjobs_python"]
        # CMAKE_BUILD_PARALLEL_LEVEL, when set, chooses the job count instead.
        if not os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL"):
            build += ["--parallel", str(os.cpu_count() or 1)]
        subprocess.run(configure, check=True)
        subprocess.run(build, check=True)

        built = cmake_dir / "python" / "mcjobs" / ("_mcjobs" + sysconfig.get_config_var("EXT_SUFFIX"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


BUILD_DIR.mkdir(parents=True, exist_ok=True)
setup(
    version=project_version(),
    packages=["mcjobs"],
    package_dir={"mcjobs": "python/mcjobs"},
    package_data={"mcjobs": ["*.pyi", "py.typed"]},
    ext_modules=[Extension("mcjobs._mcjobs", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={
        "build": {"build_base": str(BUILD_DIR / "setuptools")},
        "egg_info": {"egg_base": str(BUILD_DIR)},
    },
    zip_safe=False,
)

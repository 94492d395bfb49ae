#!/usr/bin/env python3
"""Checks the pip package the way a user installs it, offline, from Debian packages.

  check_pip_install.py ROOT --version X.Y.Z --build-dir DIR

In a fresh virtual environment (--system-site-packages, this interpreter's) it runs
`pip install --no-build-isolation --no-index ROOT` and `pip wheel` likewise, then imports
mcjobs from outside the repository and checks its version (mcjobs.__version__ and the
installed metadata, against X.Y.Z) and that it loads an example. The CMake build of the
package goes to DIR, kept between runs; the sources must come out unchanged. Exits 77
(skipped) when python3-venv, pip, setuptools or wheel are missing.
"""
import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import zipfile

SKIPPED = 77

# Run by the venv's interpreter from a scratch directory, so only the installed package is seen.
PROBE = """
import importlib.metadata, json, sys
import mcjobs
inst = mcjobs.read(sys.argv[1])
print(json.dumps({"version": mcjobs.__version__, "metadata": importlib.metadata.version("mcjobs"),
                  "file": mcjobs.__file__, "jobs": len(inst.jobs)}))
"""


def missing_tools():
    """The Debian packages that the offline install needs and this interpreter lacks."""
    probes = {"python3-venv": "import ensurepip, venv", "python3-setuptools": "import setuptools",
              "python3-wheel": "import wheel"}
    return [package for package, code in probes.items()
            if subprocess.run([sys.executable, "-c", code], capture_output=True).returncode != 0]


def source_snapshot(root, skipped):
    """Every file of the sources with its size and time, outside .git and the build trees."""
    snapshot = {}
    for directory, subdirs, files in os.walk(root):
        here = pathlib.Path(directory)
        subdirs[:] = [name for name in subdirs
                      if not (here == root and (name == ".git" or name.startswith("build")))
                      and (here / name).resolve() not in skipped]
        for name in files:
            status = (here / name).stat()
            snapshot[str((here / name).relative_to(root))] = (status.st_size, status.st_mtime_ns)
    return snapshot


def run(command, **options):
    print("+", " ".join(map(str, command)), flush=True)
    subprocess.run(list(map(str, command)), check=True, **options)


def check_wheel(wheels, version):
    found = sorted(wheels.glob("mcjobs-*.whl"))
    assert len(found) == 1 and found[0].name.startswith(f"mcjobs-{version}-"), found
    with zipfile.ZipFile(found[0]) as wheel:
        names = wheel.namelist()
        for expected in ("mcjobs/__init__.py", "mcjobs/__init__.pyi", "mcjobs/_mcjobs.pyi",
                         "mcjobs/py.typed"):
            assert expected in names, f"{found[0].name} lacks {expected}"
        assert any(name.startswith("mcjobs/_mcjobs.") for name in names), names
        metadata = wheel.read(f"mcjobs-{version}.dist-info/METADATA").decode()
        assert "Requires-Dist: numpy" in metadata, metadata


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root", type=pathlib.Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--build-dir", type=pathlib.Path, required=True)
    args = parser.parse_args()
    root = args.root.resolve()
    build_dir = args.build_dir.resolve()

    missing = missing_tools()
    if missing:
        print(f"skipped: the offline pip install needs the Debian packages {' '.join(missing)} "
              f"(scripts/install-deps.sh installs them)")
        return SKIPPED

    before = source_snapshot(root, {build_dir})
    with tempfile.TemporaryDirectory(prefix="mcjobs-pip-") as scratch:
        scratch = pathlib.Path(scratch)
        venv = scratch / "venv"
        run([sys.executable, "-m", "venv", "--system-site-packages", venv])
        # Neither the caller's module path nor a pip configuration (extra indexes or links) may
        # help: only the venv, the system's packages and the repository count.
        env = {name: value for name, value in os.environ.items()
               if name != "PYTHONPATH" and not name.startswith("PIP_")}
        env.update(MCJOBS_PIP_BUILD_DIR=str(build_dir), PIP_NO_CACHE_DIR="1",
                   PIP_CONFIG_FILE=os.devnull)
        env.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        pip = [venv / "bin" / "python", "-m", "pip"]
        offline = ["--no-build-isolation", "--no-index", "--disable-pip-version-check"]
        run([*pip, "install", *offline, root], env=env, cwd=scratch)
        run([*pip, "wheel", *offline, "--no-deps", "-w", scratch / "wheels", root], env=env,
            cwd=scratch)
        check_wheel(scratch / "wheels", args.version)

        probe = subprocess.run([venv / "bin" / "python", "-c", PROBE,
                                root / "examples" / "avionics.txt"],
                               env=env, cwd=scratch, check=True, capture_output=True, text=True)
        found = json.loads(probe.stdout)
        print("installed:", found)
        assert found["version"] == args.version, found
        assert found["metadata"] == args.version, found
        assert venv.resolve() in pathlib.Path(found["file"]).resolve().parents, found
        assert found["jobs"] == 14, found

    after = source_snapshot(root, {build_dir})
    changed = sorted(set(before.items()) ^ set(after.items()))
    assert not changed, f"the pip build wrote into the sources: {sorted({p for p, _ in changed})}"
    print("pip install and pip wheel: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Executes a notebook with nbconvert and checks what it shows.

  check_notebook.py NOTEBOOK --output-dir DIR [--expect MIMETYPE ...]

The kernel is this interpreter, whatever kernels Jupyter has installed, and inherits this
environment (PYTHONPATH with the built module); Jupyter's and IPython's own files go below DIR,
so that neither a user's profile nor a read-only home changes the run. The executed notebook is
written to DIR. The check fails on an error output or anything written to stderr (a warning in
an example is a fault to fix), and unless the expected mimetypes show in that order, each in
a later cell than the one before: that ties each to the cell meant to show it.
"""
import argparse
import json
import os
import pathlib
import subprocess
import sys

try:
    import nbformat
    import nbconvert  # noqa: F401  (run below as a module; here only to skip without it)
    import ipykernel  # noqa: F401
except ImportError as missing:
    print(f"check_notebook: skipped, {missing.name} is not installed (Debian: apt-get install "
          "python3-nbconvert python3-ipykernel python3-nbclient python3-nbformat)",
          file=sys.stderr)
    sys.exit(77)

CELL_TIMEOUT = 120


def kernel_environment(work):
    """The environment for nbconvert: a kernel spec 'python3' running this interpreter, found
    before any installed one, and Jupyter's and IPython's directories below `work`."""
    spec = work / "jupyter" / "kernels" / "python3"
    spec.mkdir(parents=True, exist_ok=True)
    (spec / "kernel.json").write_text(json.dumps({
        "argv": [sys.executable, "-m", "ipykernel_launcher", "-f", "{connection_file}"],
        "display_name": "Python 3", "language": "python"}))
    env = dict(os.environ)
    env.update(JUPYTER_PATH=str(work / "jupyter"), JUPYTER_RUNTIME_DIR=str(work / "runtime"),
               JUPYTER_CONFIG_DIR=str(work / "config"), IPYTHONDIR=str(work / "ipython"),
               # The kernel's debugger otherwise warns on stderr about frozen modules.
               PYDEVD_DISABLE_FILE_VALIDATION="1")
    return env


def execute(notebook, output_dir):
    output_dir.mkdir(parents=True, exist_ok=True)
    work = output_dir / "notebook-env"
    # With --allow-errors every cell runs and the check below names every failing one.
    command = [sys.executable, "-m", "nbconvert", "--to", "notebook", "--execute",
               "--allow-errors", f"--ExecutePreprocessor.timeout={CELL_TIMEOUT}",
               "--ExecutePreprocessor.kernel_name=python3", "--output-dir", str(output_dir),
               str(notebook)]
    run = subprocess.run(command, env=kernel_environment(work), stdin=subprocess.DEVNULL)
    return output_dir / notebook.name if run.returncode == 0 else None


def faults(executed, expected):
    """What is wrong with the executed notebook, as lines."""
    found = []
    waiting = list(expected)
    cells = nbformat.read(str(executed), as_version=4).cells
    for number, cell in enumerate(cells, 1):
        shown = set()
        for output in cell.get("outputs", []):
            if output.output_type == "error":
                found.append(f"cell {number}: {output.ename}: {output.evalue}")
            elif output.output_type == "stream" and output.name == "stderr":
                found.append(f"cell {number}: on stderr: {output.text.strip()}")
            shown.update(output.get("data", {}))
        if waiting and waiting[0] in shown:
            waiting.pop(0)
    if waiting:
        missing = f"no cell shows {waiting[0]}"
        matched = len(expected) - len(waiting)
        if matched:
            missing += f" after the one showing {expected[matched - 1]}"
        found.append(missing)
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("notebook", type=pathlib.Path)
    parser.add_argument("--output-dir", type=pathlib.Path, required=True)
    parser.add_argument("--expect", action="append", default=[], metavar="MIMETYPE")
    args = parser.parse_args()
    executed = execute(args.notebook.resolve(), args.output_dir.resolve())
    if executed is None:
        print(f"{args.notebook}: nbconvert failed (its messages are above)", file=sys.stderr)
        return 1
    problems = faults(executed, args.expect)
    for problem in problems:
        print(f"{args.notebook}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

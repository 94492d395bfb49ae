#!/usr/bin/env python3
"""Checks the manual (README.md and docs/*.md) against the repository and the built programs.

  check_docs.py links ROOT
      Every relative link and image resolves to a file of the repository, and a #anchor to a
      heading of that file; README.md stays an entry page of at most 15 KB.

  check_docs.py examples ROOT --bin DIR [--build DIR] [--python-path DIR]
      Runs every example, one scratch directory per Markdown file (a copy of examples/ and docs/,
      and `build` linking to the build directory, by default the directory of the programs), in
      the order of the file:
      - ```console blocks: a line starting with `$ ` is a command for bash, run with DIR first
        on PATH; the lines up to the next command are its expected output, stdout and stderr
        together as a terminal shows them.
      - ```pycon blocks: Python's doctest, with the built module importable; the blocks of a
        file share their names, as in one interpreter session.
      - A block whose opening line names a file after the language (```cpp app.cpp) is written
        to that file, for the commands after it.
      - Comments from a line `<!-- setup:` (a note on what they prepare may follow) to a line
        `-->` hold commands written as in console blocks, run and compared but not shown: they
        prepare an input that the text describes in words (a cyclic file, a torn archive), or
        compile a fragment of C++ as the body of main.
      In expected output, `...` stands for any text, as with doctest's ELLIPSIS; it is meant only
      for output that varies from run to run. Other blocks (sh, cmake, plain, any other language
      without a file name) are listings and are not run.
"""
import argparse
import doctest
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

README_LIMIT = 15 * 1024
FENCE = re.compile(r"^```(\S*)(?:[ \t]+(\S+))?[ \t]*$")
SETUP_START = "<!-- setup:"
SETUP_END = "-->"
COMMAND_TIMEOUT = 600


def manual_files(root):
    return [root / "README.md", *sorted((root / "docs").glob("*.md"))]


class Block:
    def __init__(self, kind, file_name, first_line, lines):
        self.kind = kind
        self.file_name = file_name
        self.first_line = first_line
        self.lines = lines


def blocks(text, where):
    """The fenced blocks and the setup comments of a Markdown text, in order."""
    found = []
    lines = text.split("\n")
    index = 0
    while index < len(lines):
        line = lines[index]
        fence = FENCE.match(line)
        if fence or line.startswith(SETUP_START):
            kind = fence.group(1) if fence else "setup"
            file_name = fence.group(2) if fence else None
            closing = "```" if fence else SETUP_END
            body = []
            index += 1
            while index < len(lines) and lines[index] != closing:
                body.append(lines[index])
                index += 1
            if index == len(lines):
                raise SystemExit(f"{where}: unclosed {kind or 'fenced'} block")
            found.append(Block(kind, file_name, index - len(body) + 1, body))
        index += 1
    return found


def prose(text):
    """The text outside fenced blocks and code spans, where links are links."""
    outside, inside = [], False
    for line in text.split("\n"):
        if FENCE.match(line):
            inside = not inside
            outside.append("")
        else:
            outside.append("" if inside else re.sub(r"`[^`]*`", "``", line))
    return outside


def slug(heading):
    """The anchor GitHub gives a heading."""
    text = re.sub(r"[`*_]|\[([^\]]*)\]\([^)]*\)", lambda m: m.group(1) or "", heading)
    return re.sub(r"[^\w\- ]", "", text.strip().lower()).replace(" ", "-")


def anchors(path):
    seen, result = {}, set()
    for line in prose(path.read_text(encoding="utf-8")):
        heading = re.match(r"#{1,6} (.*)", line)
        if heading:
            base = slug(heading.group(1))
            count = seen.get(base, 0)
            seen[base] = count + 1
            result.add(base if count == 0 else f"{base}-{count}")
    return result


LINK = re.compile(r"!?\[(?:[^\]]|\n)*?\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")


def check_links(root):
    problems = []
    for path in manual_files(root):
        for number, line in enumerate(prose(path.read_text(encoding="utf-8")), 1):
            for target in LINK.findall(line):
                if re.match(r"[a-z][a-z0-9+.-]*:", target):
                    continue  # a URL of another site
                file_part, _, anchor = target.partition("#")
                resolved = (path.parent / file_part).resolve() if file_part else path
                where = f"{path.relative_to(root)}:{number}: {target}"
                if root.resolve() not in resolved.parents and resolved != root.resolve():
                    problems.append(f"{where}: leaves the repository")
                elif not resolved.exists():
                    problems.append(f"{where}: no such file")
                elif anchor and (resolved.suffix != ".md" or anchor not in anchors(resolved)):
                    problems.append(f"{where}: no heading with the anchor #{anchor}")
    size = (root / "README.md").stat().st_size
    if size > README_LIMIT:
        problems.append(f"README.md: {size} bytes, more than the {README_LIMIT} of an entry page")
    return problems


def matches(expected, actual):
    pattern = ".*?".join(re.escape(part) for part in expected.split("..."))
    return re.fullmatch(pattern, actual, re.DOTALL) is not None


def commands(block, where):
    """(line number, command, expected output) of each `$ ` line of a console or setup block."""
    result = []
    for offset, line in enumerate(block.lines):
        if line.startswith("$ "):
            result.append([block.first_line + offset, line[2:], []])
        elif result:
            result[-1][2].append(line)
        elif line.strip():
            raise SystemExit(f"{where}:{block.first_line + offset}: output before any `$ ` command")
    return [(number, command, "".join(out + "\n" for out in output))
            for number, command, output in result]


def run_console(block, scratch, environment, where):
    problems = []
    for number, command, expected in commands(block, where):
        completed = subprocess.run(["bash", "-c", command], cwd=scratch, env=environment,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, timeout=COMMAND_TIMEOUT)
        actual = completed.stdout.decode("utf-8", "backslashreplace")
        if not matches(expected, actual):
            shown = actual if actual.endswith("\n") or not actual else actual + "\n"
            problems.append(f"{where}:{number}: $ {command}\n--- expected\n{expected}"
                            f"--- got\n{shown}---")
    return problems


def run_pycon(block, scratch, names, where):
    text = "\n".join(block.lines) + "\n"
    test = doctest.DocTestParser().get_doctest(text, names, where, where, block.first_line - 1)
    output = []
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    previous = os.getcwd()
    os.chdir(scratch)
    try:
        runner.run(test, out=output.append, clear_globs=False)
    finally:
        os.chdir(previous)
    return ["".join(output)] if runner.failures else []


def scratch_copy(root, build):
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="mcjobs-docs-"))
    for name in ("examples", "docs"):
        shutil.copytree(root / name, scratch / name)
    (scratch / "build").symlink_to(build)
    return scratch


def check_examples(root, binaries, build, python_path):
    if python_path:
        sys.path.insert(0, str(python_path.resolve()))
    environment = dict(os.environ, PATH=f"{binaries}{os.pathsep}{os.environ.get('PATH', '')}")
    environment.pop("MCS_DEBUG_PROP", None)
    problems, counts = [], {"console": 0, "pycon": 0, "setup": 0, "file": 0}
    for path in manual_files(root):
        where = str(path.relative_to(root))
        found = [block for block in blocks(path.read_text(encoding="utf-8"), where)
                 if block.file_name or block.kind in counts]
        if not found:
            continue
        scratch, names = scratch_copy(root, build), {"__name__": "__main__"}
        try:
            for block in found:
                if block.file_name:
                    counts["file"] += 1
                    (scratch / block.file_name).write_text("\n".join(block.lines) + "\n")
                elif block.kind == "pycon":
                    counts["pycon"] += 1
                    problems += run_pycon(block, scratch, names, where)
                else:
                    counts[block.kind] += 1
                    problems += run_console(block, scratch, environment, where)
        finally:
            shutil.rmtree(scratch)
    print(f"ran {counts['console']} console blocks, {counts['pycon']} pycon blocks and "
          f"{counts['setup']} setup comments; wrote {counts['file']} files")
    if counts["console"] == 0 or counts["pycon"] == 0:
        problems.append("no console or no pycon example found: is ROOT the repository?")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("check", choices=("links", "examples"))
    parser.add_argument("root", type=pathlib.Path)
    parser.add_argument("--bin", type=pathlib.Path, help="the directory of the built programs")
    parser.add_argument("--build", type=pathlib.Path,
                        help="the build directory the examples name `build`")
    parser.add_argument("--python-path", type=pathlib.Path,
                        help="the directory that holds the built mcjobs package")
    arguments = parser.parse_args()
    root = arguments.root.resolve()
    if arguments.check == "links":
        problems = check_links(root)
    else:
        if not arguments.bin:
            parser.error("examples needs --bin")
        binaries = arguments.bin.resolve()
        build = arguments.build.resolve() if arguments.build else binaries
        problems = check_examples(root, binaries, build, arguments.python_path)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

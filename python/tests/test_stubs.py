# The type stubs against the module where stubtest cannot see it: the extension's functions
# have no signature objects, only the signature line of their docstrings. Every stubbed
# function and method takes the parameters, in order, that the module's own signatures name,
# with the same defaults.
import ast
import inspect
import pathlib
import re

import mcjobs

STUBS = pathlib.Path(mcjobs.__file__).with_name("__init__.pyi")


def real_parameters(function):
    try:
        return [p for p in inspect.signature(function).parameters if p != "self"]
    except ValueError:  # an extension function: its docstring's first line is the signature
        line = function.__doc__.splitlines()[0]
        inside = re.match(r"\w+\((.*)\) ->", line).group(1)
        names = re.findall(r"(?:^|, )\**(\w+)(?=: |,|$)", inside)
        return [name for name in names if name != "self"]


def extension_defaults(function):
    """{parameter: default as source text} from an extension function's signature line; None
    for a Python function, whose defaults stubtest compares."""
    try:
        inspect.signature(function)
        return None
    except ValueError:
        line = function.__doc__.splitlines()[0]
        return dict(re.findall(r"(\w+): [\w.\[\], ]+? = ('[^']*'|[^,)]+)", line))


def stub_defaults(arguments):
    """{parameter: default as source text} of a stubbed function, but for `...` (not given)."""
    positional = arguments.posonlyargs + arguments.args
    pairs = [*zip(positional[len(positional) - len(arguments.defaults):], arguments.defaults),
             *zip(arguments.kwonlyargs, arguments.kw_defaults)]
    return {argument.arg: ast.unparse(default) for argument, default in pairs
            if default is not None and ast.unparse(default) != "..."}


def stubbed(tree):
    for node in tree.body:
        if isinstance(node, ast.FunctionDef) and not node.decorator_list:
            yield mcjobs, node
        elif isinstance(node, ast.ClassDef):
            for member in node.body:
                if isinstance(member, ast.FunctionDef) and not member.decorator_list:
                    yield getattr(mcjobs, node.name), member


def test_stubs_name_the_real_parameters():
    checked = 0
    for owner, node in stubbed(ast.parse(STUBS.read_text())):
        if node.name.startswith("__"):
            continue
        arguments = node.args.posonlyargs + node.args.args + node.args.kwonlyargs
        stub = [a.arg for a in arguments if a.arg != "self"]
        if node.args.kwarg:
            stub.append(node.args.kwarg.arg)
        function = getattr(owner, node.name)
        real = real_parameters(function)
        assert stub == [("options" if name == "kwargs" else name) for name in real], node.name
        defaults = extension_defaults(function)
        if defaults is not None:
            given = stub_defaults(node.args)
            assert {name: defaults.get(name) for name in given} == given, node.name
        checked += 1
    assert checked > 30


def test_the_stubbed_generate_defaults_are_the_libraries():
    stub = next(node for node in ast.parse(STUBS.read_text()).body
                if isinstance(node, ast.FunctionDef) and node.name == "generate")
    names = [argument.arg for argument in stub.args.kwonlyargs]
    defaults = [ast.literal_eval(default) for default in stub.args.kw_defaults if default]
    assert dict(zip(names[1:], defaults)) == mcjobs.generate_options()

# The module's version is the tools' version: both come from the CMake project.
from conftest import cli

import mcjobs


def test_version_is_the_tools_version():
    assert cli("--version") == f"mcjobs {mcjobs.__version__}\n"

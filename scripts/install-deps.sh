#!/usr/bin/env bash
# Installs the Debian packages that building and testing mcjobs need, only when
# some are missing; without root it names the missing ones and fails instead.
set -euo pipefail

packages=(
  cmake g++ libgtest-dev libbenchmark-dev          # the library, its tests and benchmarks
  libpugixml-dev                                   # the library's MC-DAG reader
  coinor-libcbc-dev pkgconf                        # the library's exact scheduling method
  libcli11-dev nlohmann-json3-dev                  # the mcjobs tool
  pybind11-dev python3-dev python3-pytest          # the Python module and its tests
  python3-numpy python3-networkx python3-matplotlib python3-distributed
  python3-pandas python3-tqdm                      # studies: DataFrames, progress bars
  python3-nbconvert python3-ipykernel python3-nbclient python3-nbformat  # the example notebook
  python3-venv python3-pip python3-setuptools python3-wheel  # the offline pip install
  graphviz librsvg2-bin python3-jsonschema         # checks of the drawings and the JSON output
  python3-mypy                                     # checks of the type stubs
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$package")
done
((${#missing[@]} == 0)) && exit 0

if ((EUID != 0)); then
  echo "install-deps: missing Debian packages: ${missing[*]}" >&2
  echo "install-deps: run as root to install them (apt-get install -y ${missing[*]})" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"

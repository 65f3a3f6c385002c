#!/usr/bin/env bash
# Installs what building and testing Kinvar needs on Debian 12, skipping the
# package manager when everything is there already.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config
          libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev liblemon-dev coinor-libipopt-dev
          libzip-dev libpugixml-dev libxlsxwriter-dev nlohmann-json3-dev
          qt6-base-dev qt6-svg-dev qt6-charts-dev libqt6opengl6-dev libgraphviz-dev
          libhts-dev libopenblas-dev liblapacke-dev
          fonts-dejavu-core
          python3-venv python3-dev python3-pybind11 pybind11-dev python3-setuptools
          python3-numpy python3-pandas python3-scipy python3-pytest
          r-base-dev r-cran-rcpp r-cran-matrix r-cran-testthat r-cran-knitr r-cran-markdown
          clang libfuzzer-14-dev libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

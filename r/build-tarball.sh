#!/usr/bin/env bash
# Builds the source tarball of the R package kinvar with a copy of the core
# inside (tools/kinvar-core), so that the tarball installs on its own.
#
#   r/build-tarball.sh [OUTPUT_DIR]    (default: the current folder)
#
# The copy is staged in a temporary folder: the repository keeps one copy of
# every source.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
out=$(cd "${1:-.}" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

mkdir -p "$stage/kinvar"
(cd "$repo/r/kinvar" &&
  tar --exclude=./src/kinvar-core-build --exclude='./src/*.o' --exclude='./src/*.so' \
      --exclude=./src/Makevars --exclude=./src/kinvar-core-cmake.log \
      --exclude=./tools/kinvar-core -cf - .) | (cd "$stage/kinvar" && tar -xf -)

# What configuring the top level with the GUI, tests and benchmarks off reads.
core="$stage/kinvar/tools/kinvar-core"
mkdir -p "$core/src"
cp "$repo/CMakeLists.txt" "$core/"
if [[ -d "$repo/cmake" ]]; then cp -r "$repo/cmake" "$core/"; fi
cp "$repo/src/CMakeLists.txt" "$core/src/"
for part in report pedigree genetics genomics analyses matings app cli; do
  cp -r "$repo/src/$part" "$core/src/"
done

# The version is the project's, as in the Python module.
version=$(sed -nE 's/^project\(Kinvar VERSION ([0-9.]+).*/\1/p' "$repo/CMakeLists.txt")
[[ -n "$version" ]] || { echo "build-tarball: no version in CMakeLists.txt" >&2; exit 1; }
sed -i -E "s/^Version: .*/Version: $version/" "$stage/kinvar/DESCRIPTION"

cd "$out"
# The vignette is built into the tarball where its builder is installed (a
# check warns of a vignette without its output); elsewhere it is left out
# of the build and the tarball still installs.
if Rscript -e 'quit(status = !all(vapply(c("knitr", "markdown"), requireNamespace, NA, quietly = TRUE)))' \
    >/dev/null 2>&1; then
  R CMD build "$stage/kinvar"
else
  R CMD build --no-build-vignettes "$stage/kinvar"
fi

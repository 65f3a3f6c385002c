#!/bin/sh
# Redraws the pictures of docs/ from the examples with kinvar-cli (the Qt
# build; no display needed). Run from the source folder after a build:
#   scripts/make-pictures.sh [BUILD_DIR]
set -eu
build=${1:-build}
cli="$build/bin/kinvar-cli"
if [ ! -x "$cli" ]; then
  echo "make-pictures.sh: build kinvar-cli first ($cli not found)" >&2
  exit 1
fi
"$cli" chart examples/herd.pdg C4 --generations 4 --size 1600x1000 -o docs/chart.png
echo "docs/chart.png"
"$cli" draw examples/herd.pdg ancestors group 3 --size 1600x1000 -o docs/drawing.png
echo "docs/drawing.png"
"$cli" certificate examples/herd.pdg C2 --generations 4 --size 1240x1754 -o docs/certificate.png
echo "docs/certificate.png"
for kind in "trends 3" f-histogram "founders 3" group-heatmap; do
  name=$(echo "$kind" | cut -d' ' -f1)
  # shellcheck disable=SC2086 # the kind's arguments are words of their own
  "$cli" -q plot examples/herd.pdg $kind --size 1600x1000 -o "docs/$name.png"
  echo "docs/$name.png"
done
# The mating chart anneals: a private program folder keeps the user's seed file.
home=$(mktemp -d)
KINVAR_HOME=$home "$cli" -q plot examples/herd.pdg matings 2 3 examples/herd-sires.c \
  --size 1600x1000 -o docs/matings.png 2>/dev/null
rm -rf "$home"
echo "docs/matings.png"

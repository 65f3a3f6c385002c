#!/usr/bin/env bash
# Installs the Python module into a fresh virtual environment (Debian's
# NumPy, pandas, SciPy and pytest through --system-site-packages; nothing
# is downloaded) and runs its tests. KINVAR_CORE_BUILD may name a build of
# kinvar_core with position-independent code to link instead of building it
# again; the tests compare with build/bin/kinvar-cli when it exists (or
# with KINVAR_CLI).
set -euo pipefail
cd "$(dirname "$0")/.."

python=/usr/bin/python3
# pip builds inside python/: a relative folder would be looked for there.
if [[ -n "${KINVAR_CORE_BUILD:-}" ]]; then
  KINVAR_CORE_BUILD=$(cd "$KINVAR_CORE_BUILD" && pwd)
  export KINVAR_CORE_BUILD
fi
venv=$(mktemp -d "${TMPDIR:-/tmp}/kinvar-python.XXXXXX")
trap 'rm -rf "$venv"' EXIT

"$python" -m venv --system-site-packages "$venv"
"$venv/bin/pip" install --quiet --no-build-isolation --no-index ./python

if [[ -z "${KINVAR_CLI:-}" && -x build/bin/kinvar-cli ]]; then
  export KINVAR_CLI=$PWD/build/bin/kinvar-cli
fi
# Tests run from outside the source folder, so they import the installed
# module rather than python/kinvar without its extension.
cd "$venv"
"$venv/bin/python" -m pytest -q -p no:cacheprovider "$OLDPWD/python/tests"

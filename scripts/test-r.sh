#!/usr/bin/env bash
# Builds the R package's tarball and runs R CMD check --no-manual on it,
# which installs it once and runs the examples and the testthat tests.
# Fails on any ERROR or WARNING; NOTEs are listed.
#
# KINVAR_CORE_BUILD: a folder where kinvar_core is already built as
# position-independent code (else the check's install builds it).
# KINVAR_CLI: kinvar-cli for the tests that compare with its CSV (default:
# build/bin/kinvar-cli of the repository when it exists).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
if [[ -z "${KINVAR_CLI:-}" && -x "$repo/build/bin/kinvar-cli" ]]; then
  export KINVAR_CLI="$repo/build/bin/kinvar-cli"
fi
if [[ -n "${KINVAR_CORE_BUILD:-}" ]]; then
  KINVAR_CORE_BUILD=$(cd "$KINVAR_CORE_BUILD" && pwd)
  export KINVAR_CORE_BUILD
fi
if [[ -n "${KINVAR_CLI:-}" ]]; then
  KINVAR_CLI=$(cd "$(dirname "$KINVAR_CLI")" && pwd)/$(basename "$KINVAR_CLI")
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
start=$SECONDS

bash "$repo/r/build-tarball.sh" "$work" >"$work/build.log" 2>&1 || {
  cat "$work/build.log"
  exit 1
}
tarball=$(cd "$work" && ls kinvar_*.tar.gz)

cd "$work"
status=0
_R_CHECK_FORCE_SUGGESTS_=false R CMD check --no-manual "$tarball" >check.log 2>&1 || status=$?
cat check.log
outcome=$(grep -E '^Status:' check.log | tail -1 || true)
if ((status != 0)) || [[ -z "$outcome" ]] || grep -qE 'ERROR|WARNING' <<<"$outcome"; then
  for log in kinvar.Rcheck/00install.out kinvar.Rcheck/tests/testthat.Rout.fail; do
    [[ -f "$log" ]] && { echo "==== $log"; tail -80 "$log"; }
  done
  echo "test-r: R CMD check failed ($outcome)" >&2
  exit 1
fi
echo "test-r: $outcome in $((SECONDS - start)) s"
# testthat's closing line, "[ FAIL 0 | WARN 0 | SKIP 2 | PASS 310 ]", as the
# plain count.
counts=$(grep -hoE '\[ FAIL [0-9]+ \| WARN [0-9]+ \| SKIP [0-9]+ \| PASS [0-9]+ \]' \
  kinvar.Rcheck/tests/testthat.Rout* 2>/dev/null | tail -1 || true)
if [[ -n "$counts" ]]; then
  read -r failed skipped passed < <(sed -E 's/.*FAIL ([0-9]+).*SKIP ([0-9]+).*PASS ([0-9]+).*/\1 \2 \3/' <<<"$counts")
  echo "testthat: $passed passed, $failed failed, $skipped skipped"
fi

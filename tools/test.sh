#!/usr/bin/env bash
# Builds Backdrift with its tests and runs every test under Wine on a virtual
# display; ends with CTest's summary and its exit status. Started as root, it
# installs what is missing, then builds and tests as the test account in its
# own copy of the checkout (as-test-account.sh).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
cd "$root"

tools/deps.sh python3-yaml # the release files' checks
. tools/as-test-account.sh
bd_as_test_account tools/test.sh "$@"
cmake --preset test >/dev/null
cmake --build --preset test -j "$(nproc)"

# The tests share one prefix, display and wineserver; boot them once, with
# their output detached, before CTest starts anything.
unset BACKDRIFT_USE_DISPLAY
tools/wine-ctl.sh boot build/test
status=0
ctest --preset test "$@" || status=$?
tools/wine-ctl.sh stop build/test
exit $status

#!/usr/bin/env bash
# Builds Backdrift with its tests and runs them under Wine on a virtual display; ends with CTest's
# summary and its exit status. As root, installs what is missing, then runs as the test account.
set -euo pipefail
cd -P "$(dirname "${BASH_SOURCE[0]}")/.."

tools/deps.sh python3-yaml # the release files' checks
. tools/as-test-account.sh
bd_as_test_account tools/test.sh "$@"
cmake --preset test >/dev/null
cmake --build --preset test -j "$(nproc)"

# The tests share one prefix, display and wineserver, booted once here.
unset BACKDRIFT_USE_DISPLAY
tools/wine-ctl.sh boot build/test
trap 'tools/wine-ctl.sh stop build/test' EXIT # a failing stop fails the run, as a failing test does
ctest --preset test "$@"

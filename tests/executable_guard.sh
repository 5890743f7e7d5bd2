#!/usr/bin/env bash
# Backdrift.exe stays small: within its byte budget, and without the C++ runtime's unwinder, exception classes
# or name demangler, which one throwing helper (a std::function, a std::stoi) would drag in, tens of KB at once.
#   executable_guard.sh <Backdrift.exe> <its linker map> <budget in bytes>
set -euo pipefail
exe=$1 map=$2 budget=$3
status=0
ok() { echo "ok   $*"; }
fail() { echo "FAIL $*"; status=1; }
size=$(stat -c %s "$exe")
[ "$size" -le "$budget" ] && ok "$size bytes, within $budget" || fail "$size bytes, over the budget of $budget"
[ -s "$map" ] && [ ! "$map" -ot "$exe" ] || { echo "FAIL no linker map of this link: $map"; exit 1; }
# Objects of GCC's runtime libraries that the link took in, as the map names them.
taken=$(grep -oE 'lib(stdc\+\+|supc\+\+|gcc_eh|gcc)\.a\([^)]+\)' "$map" | sort -u)
unwanted=$(grep -E 'unwind|demangle|eh_[a-z_]+\.o|except|system_error|bad_|typeinfo|tinfo' <<<"$taken" || true)
[ -z "$unwanted" ] && ok "no unwinder, exception classes or demangler; from GCC's runtime only: $(echo $taken)" ||
    fail "the link took in: $(echo $unwanted)"
exit $status

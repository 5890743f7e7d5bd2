#!/usr/bin/env bash
# Boots or stops the Wine environment of a build tree.
#   tools/wine-ctl.sh boot|stop <build dir>
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
build=$(cd "$2" && pwd)
bd_wine_init "$build"
case $1 in
boot) bd_wine_boot ;;
stop) bd_wine_stop ;;
*) echo "usage: $0 boot|stop <build dir>" >&2; exit 2 ;;
esac

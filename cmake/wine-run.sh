#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix, making the prefix on first use:
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# Works headless (console programs need no display) and as root. The first call takes about
# ten seconds to make the prefix; parallel callers wait for it under a lock.
set -uo pipefail
if [ $# -lt 2 ]; then
  echo "usage: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
# Wine wants the prefix as an absolute path.
prefix=$(mkdir -p "$1" && cd "$1" && pwd) || exit 2
shift
export WINEPREFIX=$prefix WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=$(command -v wine || command -v wine64) || { echo "wine-run.sh: wine is not installed" >&2; exit 2; }
if [ ! -f "$prefix/.nandell-ready" ]; then
  exec 9>"$prefix.lock"
  flock 9
  if [ ! -f "$prefix/.nandell-ready" ]; then
    "$wine" wineboot -i >/dev/null 2>&1
    "${wine%/*}/wineserver" -w 2>/dev/null || wineserver -w
    touch "$prefix/.nandell-ready"
  fi
  exec 9>&-
fi
exec "$wine" "$@"

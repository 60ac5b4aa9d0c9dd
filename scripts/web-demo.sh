#!/usr/bin/env bash
# Builds the browser page and serves it on this computer with a simulated
# surface behind a stand-in for navigator.hid, and prints the address to
# open in Chrome or Edge (or Debian's Chromium). Choose
# examples/vireon-surface-demo.cyacd and press UPDATE. The surface reports
# no serial number, so the browser forgets it as it restarts and the page
# asks for it again, as with a real surface.
#
#   scripts/web-demo.sh [--port N]
#
# The stand-in takes options in the page's address: fault=KIND:STAGE:N
# (repeatable, as the desktop demo's --fault), chip=2 (a surface left in its
# second chip's bootloader), serial=TEXT (a surface with a serial number,
# which the browser keeps across its restarts), for example
#   http://127.0.0.1:8080/?fault=cut:2:8
set -euo pipefail
cd "$(dirname "$0")/.."

port=8080
while [ $# -gt 0 ]; do
  case "$1" in
    --port) port=$2; shift ;;
    --help) sed -n '2,15s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "usage: scripts/web-demo.sh [--port N]" >&2; exit 2 ;;
  esac
  shift
done

. scripts/demo-build.sh
demo_build vireon_web vireon_web_standin
echo "web-demo: the page with a simulated surface, until Ctrl-C:"
exec node web/serve.mjs "$build/web/site" --standin "$build/web/sim" --port "$port"

#!/usr/bin/env bash
# Benchmarks the service program: starts a copy of the built daemon on a free
# loopback port with room for the clients, runs the load generator against it and
# prints its figures.   bench/run.sh [clients] [messages per client]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
clients=${1:-50}
messages=${2:-500}
"$top/scripts/build.sh" plain >/dev/null
work=$(mktemp -d)
trap 'kill "$daemon" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$top/build/plain/daemon/TavoServerDaemon" "$work/"
port=16667
printf '[Global]\r\nPort=%s\r\nMaxConnection=%s\r\nPingInterval=600\r\n' \
    "$port" "$((clients + 5))" > "$work/TavoServerDaemon.Ini"
"$work/TavoServerDaemon" &
daemon=$!
sleep 0.5
"$top/build/plain/bench/LoadGenerator" "$port" "$clients" "$messages"

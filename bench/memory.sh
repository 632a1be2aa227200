#!/usr/bin/env bash
# Starts the program with fresh folders, waits until it has finished launching (it owns its bus
# name), lets it settle, and prints its resident memory.
set -euo pipefail
bin=$1
home=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$home"' EXIT
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" "$bin" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 200); do
  if dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
      string:dev.tarnwhistle.app 2>/dev/null | grep -q 'boolean true'; then break; fi
  sleep 0.05
done
sleep 2
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
echo "resident_memory_kb=$rss resident_memory_mb=$((rss / 1024))"

#!/usr/bin/env bash
# User-space instructions of a running second, Tarnwhistle (a focus phase, the pill shown) beside
# the bare Qt label, counted by callgrind over the same number of seconds. Unlike CPU time, the
# count does not move with how busy or slow the machine is at that moment.
# Run it inside a desktop (scripts/with-desktop). Usage: instructions.sh TARNWHISTLE BARE_LABEL
set -euo pipefail
tw=$(realpath "$1")
label=$(realpath "$2")
seconds=${TW_INSTRUCTION_SECONDS:-30}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# Prints the instructions counted over $seconds running seconds of the program $1.
count() {
  local program=$1 name=$2
  local home="$work/home-$name"
  mkdir -p "$home"
  HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_STATE_HOME=$home/state \
    XDG_CACHE_HOME=$home/cache valgrind --tool=callgrind --instr-atstart=no \
    --callgrind-out-file="$work/$name.out" "$program" >"$work/$name.log" 2>&1 &
  local pid=$!
  if [ "$program" = "$tw" ]; then
    # Started under valgrind it is slow: ask until it answers, then start focus.
    for _ in $(seq 120); do
      HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
        XDG_STATE_HOME=$home/state "$tw" status >/dev/null 2>&1 && break
      sleep 0.5
    done
    HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_STATE_HOME=$home/state \
      "$tw" start-focus >/dev/null
  fi
  sleep 8  # the launch, the island's peek and its closing
  callgrind_control -i on "$pid" >/dev/null 2>&1
  sleep "$seconds"
  callgrind_control -d "$pid" >/dev/null 2>&1
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  # The dump taken while it ran: its totals line.
  local dump
  dump=$(ls "$work/$name.out".* | sort | head -1)
  awk '/^(summary|totals):/ {print $2; exit}' "$dump"
}

a=$(count "$tw" tarnwhistle)
b=$(count "$label" label)
awk -v a="$a" -v b="$b" -v s="$seconds" 'BEGIN {
  printf "%-40s %12s %12s %8s\n", "metric", "Tarnwhistle", "bare label", "ratio"
  printf "%-40s %12.0f %12.0f %8.2f\n", "instructions per running second (k)", a / s / 1000, b / s / 1000, a / b
}'

#!/usr/bin/env bash
# Runs the system on a simulated balance line: the simulator plays three
# balances on a pseudo-terminal, COM1 is pointed at it, and the program
# (or, where it is not built, the terminal monitor) reads them live.
set -euo pipefail
build="${1:-build}"
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$root/$build/bin"
run_dir="$root/demo-run"
mkdir -p "$run_dir"

"$bin/balance-sim" --balances 3 --link "$run_dir/com1" --quiet &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT INT TERM
for _ in $(seq 100); do [[ -e "$run_dir/com1" ]] && break; sleep 0.05; done
export TRUTINA_COM1="$run_dir/com1"
echo "Simulated balance line on $TRUTINA_COM1 (COM1)."

if [[ -x "$bin/pondus" && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ) ]]; then
  cp -f "$root/app/ReadMe.txt" "$run_dir/" 2>/dev/null || true
  cd "$run_dir"
  "$bin/pondus"
else
  echo "Reading the line with the terminal monitor; Ctrl+C stops."
  "$bin/line_monitor" --port 1 ${DEMO_SECONDS:+--seconds "$DEMO_SECONDS"}
fi

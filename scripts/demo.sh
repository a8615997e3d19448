#!/usr/bin/env bash
# Runs the system on a simulated balance line: the simulator plays three
# balances with samples drying at their own rates on a pseudo-terminal at
# 19200 baud, COM1 is pointed at it, and PONDUS starts in demo-run/ with
# those three balances checked. Press "Начать" to record.
#
# Without a display the program runs under Xvfb instead: it records for a
# few seconds, exports the table and saves a screenshot.
set -euo pipefail
build="${1:-build}"
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$root/$build/bin"
run_dir="$root/demo-run"
mkdir -p "$run_dir"
cd "$run_dir"

# The line and settings of the training entry of the installed program.
training="$root/packaging/training"
balances=()
while read -r balance; do balances+=(--balance "$balance"); done < "$training/balances"
"$bin/balance-sim" --baud 19200 --link "$run_dir/com1" "${balances[@]}" > "$run_dir/simulator.log" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM
for _ in $(seq 100); do [[ -e "$run_dir/com1" ]] && break; sleep 0.05; done
[[ -e "$run_dir/com1" ]] || { echo "The simulator did not start; see $run_dir/simulator.log" >&2; exit 1; }
export TRUTINA_COM1="$run_dir/com1"
echo "Simulated balance line on $TRUTINA_COM1 (COM1)."

cp -f "$root/app/ReadMe.txt" "$run_dir/"
cp -f "$training/PONDUS.ini" "$run_dir/PONDUS.ini"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  echo "Starting PONDUS in $run_dir; press \"Начать\" to record."
  "$bin/pondus"
else
  echo "No display: running PONDUS under Xvfb for ${DEMO_SECONDS:-10} s."
  # In its own language, decimal comma included, where the locale exists.
  if locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then export LC_ALL=ru_RU.UTF-8; fi
  xvfb-run -a -s "-screen 0 1024x640x24" "$bin/pondus-autorun" --seconds "${DEMO_SECONDS:-10}" \
    --export "$run_dir/demo.xls" --screenshot "$run_dir/demo.png"
  echo "Exported table: $run_dir/demo.xls"
  echo "Screenshot:     $run_dir/demo.png"
fi

#!/usr/bin/env bash
# Runs the system on a simulated balance line: the simulator plays three
# balances (one drifting, one stepping, one noisy) on a pseudo-terminal at
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

"$bin/balance-sim" --baud 19200 --link "$run_dir/com1" \
  --balance kind=1,model=3,ident=100231,unit=g,decimals=3,weight=ramp:12.5:0.137 \
  --balance kind=2,model=2,ident=200417,unit=g,decimals=2,weight=steps:50:2.5:3 \
  --balance kind=1,model=9,ident=300562,unit=mg,decimals=1,weight=noise:850:4:0.4 \
  > "$run_dir/simulator.log" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM
for _ in $(seq 100); do [[ -e "$run_dir/com1" ]] && break; sleep 0.05; done
[[ -e "$run_dir/com1" ]] || { echo "The simulator did not start; see $run_dir/simulator.log" >&2; exit 1; }
export TRUTINA_COM1="$run_dir/com1"
echo "Simulated balance line on $TRUTINA_COM1 (COM1)."

cp -f "$root/app/ReadMe.txt" "$run_dir/"
printf '%s\r\n' '[MainForm]' 'GetInfPeriod=0,4' 'COM=COM1' 'MDLabelEnabled=0' 'MaxDifWeight=10' \
  'FCLB(0)=1' 'FCLB(1)=1' 'FCLB(2)=1' 'FCLB(3)=0' 'FCLB(4)=0' 'FCLB(5)=0' 'FCLB(6)=0' 'FCLB(7)=0' \
  'FCLB(8)=0' 'FCLB(9)=0' 'SizeOfMassive=100' 'MaxDifWeightEnabled=0' > "$run_dir/PONDUS.ini"

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

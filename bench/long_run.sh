#!/usr/bin/env bash
# A long run of the real measurement window (offscreen) against a simulated
# line of ten balances at 19200 baud, polled at the shortest period, 0,2 s.
# Reports rows recorded against poll ticks, memory growth per row and CPU.
#
#   bench/long_run.sh [build dir] [seconds, default 60]
set -euo pipefail
build="${1:-build}"
seconds="${2:-${LONG_RUN_SECONDS:-60}}"
bin="$(cd "$build/bin" && pwd)"
work="$(mktemp -d)"
"$bin/balance-sim" --balances 10 --baud 19200 --link "$work/com1" > /dev/null 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [[ -e "$work/com1" ]] && break; sleep 0.05; done

checked=()
for i in $(seq 0 9); do checked+=("FCLB($i)=1"); done
printf '%s\r\n' '[MainForm]' 'GetInfPeriod=0,2' 'COM=COM1' "${checked[@]}" 'SizeOfMassive=1000' > "$work/PONDUS.ini"

cd "$work"
echo "ten balances, 19200 baud, period 0,2 s, $seconds s:"
TRUTINA_COM1="$work/com1" QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 \
  XDG_DATA_HOME="$work" "$bin/pondus-autorun" --seconds "$seconds" 2>/dev/null

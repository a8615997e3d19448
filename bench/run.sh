#!/usr/bin/env bash
# Runs every benchmark against the build in $1 (default build).
set -euo pipefail
build="${1:-build}"
bin="$build/bin"
echo "== scale link library on a simulated 19200 baud line"
"$bin/line_bench" "$bin/libtrutina.so" "$bin/balance-sim" "${BENCH_SECONDS:-10}"
echo "== measurement journal"
"$bin/journal_bench" ${JOURNAL_BENCH_ROWS:-432000}
if [[ -x "$bin/trend_bench" ]]; then
  echo "== the samples' mass change, drift and constant mass"
  "$bin/trend_bench" ${TREND_BENCH_HOURS:-36}
  echo "== how soon constant mass is told on the simulator's drying curves"
  "$bin/constant_mass_bench"
fi
if [[ -x "$bin/app_bench" ]]; then
  echo "== application"
  QT_QPA_PLATFORM=offscreen "$bin/app_bench" ${APP_BENCH_ROWS:-432000}
fi
if [[ -x "$bin/restore_bench" ]]; then
  echo "== a journaled day restored into a new window"
  QT_QPA_PLATFORM=offscreen "$bin/restore_bench" ${RESTORE_BENCH_ROWS:-432000}
fi
if [[ -x "$bin/pondus-autorun" ]]; then
  echo "== long run of the program"
  bash "$(dirname "$0")/long_run.sh" "$build" "${LONG_RUN_SECONDS:-60}"
fi
if [[ -x "$bin/logger_bench" ]]; then
  echo "== pondus-log"
  "$bin/logger_bench" "$bin/pondus-log" "$bin/libtrutina.so" "$bin/balance-sim" "${LOGGER_BENCH_SECONDS:-60}"
fi
if [[ -x "$bin/ports_bench" ]]; then
  echo "== window of ports with twenty devices"
  QT_QPA_PLATFORM=offscreen "$bin/ports_bench" 20
fi
if [[ -x "$bin/export_bench" ]]; then
  echo "== export of a day of measurements"
  QT_QPA_PLATFORM=offscreen "$bin/export_bench"
fi
if [[ -x "$bin/mqtt_bench" ]]; then
  echo "== ten PCs publishing to one collector through mosquitto"
  "$bin/mqtt_bench" "${BENCH_SECONDS:-30}"
fi
if [[ -x "$bin/dashboard_bench" ]]; then
  echo "== the collector's dashboard: twenty PCs live, ten pages open; a day-long run"
  DASHBOARD_PAINT="$(dirname "$0")/dashboard_paint.py" "$bin/dashboard_bench" "$bin/pondus-log" \
    "$build/share/pondus/dashboard" "${BENCH_SECONDS:-20}" "${DASHBOARD_BENCH_ROWS:-0}"
fi

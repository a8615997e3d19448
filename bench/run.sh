#!/usr/bin/env bash
# Runs every benchmark against the build in $1 (default build).
set -euo pipefail
build="${1:-build}"
bin="$build/bin"
echo "== scale link library on a simulated 19200 baud line"
"$bin/line_bench" "$bin/libtrutina.so" "$bin/balance-sim" "${BENCH_SECONDS:-10}"
if [[ -x "$bin/app_bench" ]]; then
  echo "== application"
  QT_QPA_PLATFORM=offscreen "$bin/app_bench" ${APP_BENCH_ROWS:-432000}
fi

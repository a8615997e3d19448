#!/usr/bin/env bash
# Runs trutina_windows_tests.exe under Wine against balance-sim.
#   run-under-wine.sh WINDOWS_BUILD_DIR BALANCE_SIM
# The simulator plays three balances on a pseudo-terminal and keeps a link
# to it; a Wine prefix of its own (in the build folder) maps COM1 to that
# link. The test program asks on its standard output for the line to be
# unplugged or plugged in again; this script passes that on to the
# simulator as SIGUSR1 / SIGUSR2.
set -euo pipefail

build=$(realpath "$1")
sim=$(realpath "$2")
wine=${WINE:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-/usr/lib/wine/wineserver64}

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko prompts
work="$build/wine-run"
link="$work/com1"

"$wineserver" -k >/dev/null 2>&1 || true # left over from an earlier run
rm -rf "$WINEPREFIX" "$work"
mkdir -p "$work"

sim_pid=""
cleanup() {
  [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  "$wineserver" -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

echo "Setting up the Wine prefix in $WINEPREFIX"
"$wine" wineboot --init >"$work/wineboot.log" 2>&1
# COM1 is the simulated line. COM2..COM4 lead to /dev/null, which opens but
# takes no line settings, so that the port search does not depend on the
# serial devices of this machine (a port whose path is missing would fall
# back to Wine's default, /dev/ttyS1 and so on).
for port in 1 2 3 4; do
  target=/dev/null
  [[ $port == 1 ]] && target="$link"
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /t REG_SZ /d "$target" /f >/dev/null
done
# The port mapping is read when wineserver starts. Started here, its
# messages (a dump of its objects when it is stopped) go to a log.
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w
"$wineserver" -p 2>"$work/wineserver.log"

exec {sim_out}< <(exec "$sim" --quiet --baud 19200 --link "$link" \
  --balance kind=1,model=1,ident=500001,unit=g,decimals=1,stable=1,weight=fixed:-0.2 \
  --balance kind=2,model=2,ident=500002,unit=ct,decimals=2,stable=1,weight=fixed:246.9 \
  --balance kind=1,model=3,ident=500003,unit=kg,decimals=3,stable=0,weight=fixed:37.035 \
  2>"$work/sim.log")
sim_pid=$!
read -r -t 10 -u "$sim_out" pty || { echo "balance-sim did not start" >&2; exit 1; }
echo "balance-sim plays the line on $pty (COM1 = $link)"

# The simulator's plug messages are read after each signal, so that the
# test program is told nothing before the line has really changed.
plug() {
  local signal=$1 expect=$2 message
  kill "-$signal" "$sim_pid"
  if ! read -r -t 10 -u "$sim_out" message || [[ $message != "$expect"* ]]; then
    echo "balance-sim did not report '$expect'" >&2
    return 1
  fi
  echo "($message)"
}

cd "$build/bin"
set +e
timeout 120 "$wine" trutina_windows_tests.exe </dev/null 2>"$work/test-stderr.log" |
  while IFS= read -r line; do
    line=${line%$'\r'}
    echo "$line"
    case $line in
      "request: unplug") plug USR1 unplugged || exit 1 ;;
      "request: replug") plug USR2 replugged || exit 1 ;;
    esac
  done
status=("${PIPESTATUS[@]}")
set -e

if [[ ${status[0]} != 0 || ${status[1]} != 0 ]]; then
  echo "Windows tests failed (program ${status[0]}, line driver ${status[1]})" >&2
  cat "$work/test-stderr.log" >&2
  exit 1
fi

#!/usr/bin/env bash
# Installs the built Debian package on this machine and uses it as a lab
# would: the programs on the PATH, the manual pages, the window under Xvfb
# from an empty folder, a recording run, the menu's training run, a Python
# host of the library, the service unit; then removes it and checks that
# only the user's files stay. Run as root; whatever happens, the package is
# purged again and every process the test started is stopped.
#
#   packaging/test-package.sh [BUILD_DIR]
set -euo pipefail
build="${1:-build}"
root="$(cd "$(dirname "$0")/.." && pwd)"
[[ "$build" = /* ]] || build="$root/$build"
[[ $(id -u) -eq 0 ]] || { echo "test-package: must run as root (it installs the package)" >&2; exit 1; }

shopt -s nullglob
debs=("$build"/pondus_*.deb)
((${#debs[@]} == 1)) || { echo "test-package: expected one pondus_*.deb in $build, found ${#debs[@]}" >&2; exit 1; }
deb="${debs[0]}"

# One package test at a time on a shared machine.
exec 9>/run/lock/pondus-package-test.lock
flock -w 600 9 || { echo "test-package: another package test holds the lock" >&2; exit 1; }

work="$(mktemp -d /tmp/pondus-package-test.XXXXXX)"
pids=()
purge() {
  if dpkg-query -W -f='${db:Status-Status}' pondus 2>/dev/null | grep -qv '^not-installed$'; then
    DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq pondus > "$work/purge.log" 2>&1 ||
      dpkg --purge --force-all pondus >> "$work/purge.log" 2>&1 || true
  fi
}
# Whether a process still runs (an ended child not yet waited for does not).
alive() { local state; state="$(ps -o stat= -p "$1" 2>/dev/null)" && [[ "$state" != Z* ]]; }
cleanup() {
  local status=$?
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  # What does not end on SIGTERM within 5 s is killed: the test never hangs.
  for _ in $(seq 50); do
    local running=0
    for pid in "${pids[@]}"; do alive "$pid" && running=1; done
    ((running)) || break
    sleep 0.1
  done
  for pid in "${pids[@]}"; do alive "$pid" && kill -KILL "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  purge
  rm -rf "$work"
  ((status == 0)) && echo "test-package: all checks passed" || echo "test-package: FAILED" >&2
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

fail() { echo "test-package: $*" >&2; exit 1; }
check() { echo "  ok: $*"; }
# Waits up to 20 s for a command to succeed.
await() {
  local what="$1"; shift
  for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done
  fail "timed out waiting for $what"
}
# Waits up to 20 s for a child to end and returns its status.
reap() {
  local pid="$1" what="$2"
  for _ in $(seq 200); do alive "$pid" || break; sleep 0.1; done
  alive "$pid" && fail "$what did not end within 20 s"
  wait "$pid"
}

echo "Package $(basename "$deb"): $(du -k "$deb" | cut -f1) KiB, installs $(dpkg-deb -f "$deb" Installed-Size) KiB"

# Lint: no errors and no warnings (reasoned overrides ship in the package).
lintian --fail-on error,warning "$deb" > "$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log" >&2; fail "lintian found errors or warnings"; }
check "lintian"

purge # a leftover of an interrupted run
started=$(date +%s%N)
# Without Recommends: what it pulls in stays on the machine after the purge.
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" > "$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "apt-get install failed"; }
echo "  installed in $(( ($(date +%s%N) - started) / 1000000 )) ms"
dpkg -L pondus > "$work/files"

libdir="$(dirname "$(grep '/pondus/libtrutina.so$' "$work/files")")"
[[ -n "$libdir" ]] || fail "the package holds no libtrutina.so"
for program in pondus balance-sim; do
  [[ "$(command -v "$program")" == /usr/bin/$program ]] || fail "$program is not on the PATH"
  man -w "$program" > /dev/null || fail "no manual page for $program"
done
env -u DISPLAY -u WAYLAND_DISPLAY pondus --help | grep -q '^Usage: pondus' || fail "pondus --help"
check "programs on the PATH, manual pages, pondus --help without a display"

# The logger and its service, once the logger is part of the build.
if [[ -d "$root/logger" ]]; then
  pondus-log --help > /dev/null || fail "pondus-log --help"
  man -w pondus-log > /dev/null || fail "no manual page for pondus-log"
  unit="$(grep '/pondus-log@\.service$' "$work/files")" || fail "no pondus-log@.service"
  systemd-analyze verify --man=no "$unit" || fail "systemd-analyze verify $unit"
  [[ ! -e /etc/systemd/system/multi-user.target.wants/pondus-log@.service ]] || fail "the unit is enabled"
  check "pondus-log --help, its manual page, the service unit verified and not enabled"

  # The dashboard serves its pages and Debian's chart library, with no broker up.
  [[ "$(readlink -f /usr/share/pondus/dashboard/chart.min.js)" == /usr/share/javascript/chart.js/chart.min.js ]] ||
    fail "the dashboard's chart.min.js is not libjs-chart.js's"
  http_port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
  pondus-log --collect lab --db "$work/collector.db" --mqtt-host 127.0.0.1 --mqtt-port 9 --http "$http_port" \
    > "$work/collector.log" 2>&1 &
  pids+=($!)
  await "the dashboard" curl -sf -o /dev/null "http://127.0.0.1:$http_port/"
  curl -sf "http://127.0.0.1:$http_port/chart.min.js" | cmp -s - /usr/share/javascript/chart.js/chart.min.js ||
    fail "the dashboard does not serve the chart library"
  [[ "$(curl -s -o /dev/null -w '%{http_code}' -X POST "http://127.0.0.1:$http_port/api/lab")" == 405 ]] ||
    fail "the dashboard took a POST"
  check "the collector's dashboard serves its installed pages and libjs-chart.js, GET only"
fi

for entry in /usr/share/applications/org.pondus.Pondus{,.Training}.desktop; do
  desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
done
appstreamcli validate --no-net /usr/share/metainfo/org.pondus.Pondus.metainfo.xml > /dev/null ||
  fail "appstreamcli validate"
for size in 16 48 256; do
  [[ "$(identify -format '%wx%h' "/usr/share/icons/hicolor/${size}x${size}/apps/org.pondus.Pondus.png")" == "${size}x${size}" ]] ||
    fail "icon of ${size}x${size}"
done
check "menu entries, metainfo, icons"

# Rows of a table file: those that start with their number (the header's do not).
numbered_rows() { grep -cP '^[0-9]+\t' "$1" || true; }

# A simulated line of one balance on a link of the test's own.
start_line() {
  balance-sim --balances 1 --link "$1" > "$1.log" 2>&1 &
  pids+=($!)
  await "the simulator at $1" test -e "$1"
}

# The programs' data (the journal) and settings in a home of the test's own,
# never the machine's user's.
export HOME="$work/user" XDG_DATA_HOME="$work/user/data" XDG_CONFIG_HOME="$work/user/config"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"

# A Python host loads the library by the documented path and sees the line on line.
start_line "$work/python-com1"
# (grep ends the reader at the first match; the reader's broken pipe is no failure)
(set +o pipefail; TRUTINA_COM1="$work/python-com1" timeout 30 /usr/share/doc/pondus/examples/read_line.py 1 20 |
  grep -m1 -q '^state 103 balances 1') || fail "the Python host did not see the line on line (state 103)"
check "Python host: state 103 through $libdir/libtrutina.so"

# A display of its own; xdg-open records what the program asks it to open.
Xvfb -displayfd 8 -screen 0 1280x1024x24 -nolisten tcp 8> "$work/display" 2> "$work/xvfb.log" &
pids+=($!)
await "Xvfb" test -s "$work/display"
export DISPLAY=":$(cat "$work/display")"
mkdir -p "$work/fake-bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> %q\n' "$work/opened" > "$work/fake-bin/xdg-open"
chmod +x "$work/fake-bin/xdg-open"

# The installed program from an empty folder: it finds the installed library
# without any environment, opens the help and saves its settings at the end.
start_line "$work/window-com1"
mkdir "$work/empty"
(cd "$work/empty" && PATH="$work/fake-bin:$PATH" TRUTINA_COM1="$work/window-com1" exec pondus) > "$work/pondus.log" 2>&1 &
program=$!
pids+=("$program")
await "the window of pondus" bash -c "xdotool search --onlyvisible --pid $program > '$work/window'"
grep -q "$libdir/libtrutina.so" "/proc/$program/maps" || fail "pondus did not load $libdir/libtrutina.so"
# "Справка" is the second entry of the menu bar, after "Порты…"; a click
# that comes before the window takes input is repeated.
opened_help() { grep -qs "/usr/share/doc/pondus/ReadMe.txt" "$work/opened"; }
for _ in $(seq 10); do
  xdotool mousemove --window "$(head -1 "$work/window")" 100 10 click 1
  for _ in $(seq 20); do opened_help && break 2; sleep 0.1; done
done
opened_help || fail "\"Справка\" did not open /usr/share/doc/pondus/ReadMe.txt: $(cat "$work/opened" 2>/dev/null)"
check "\"Справка\" opens /usr/share/doc/pondus/ReadMe.txt"
kill -TERM "$program"
reap "$program" "pondus on SIGTERM" || fail "pondus ended with status $? on SIGTERM"
[[ -s "$work/empty/PONDUS.ini" ]] || fail "pondus left no PONDUS.ini in its folder"
check "pondus under Xvfb: installed library loaded, settings saved in the empty folder"

# A recording run of the installed window, unattended.
mkdir "$work/recording"
(cd "$work/recording" && TRUTINA_COM1="$work/window-com1" exec "$libdir/pondus-autorun" --seconds 3 \
  --export "$work/recording/rows.xls") > "$work/autorun.log" 2>&1 || { cat "$work/autorun.log" >&2; fail "pondus-autorun"; }
grep -Eq '^recorded [1-9][0-9]* rows' "$work/autorun.log" || fail "no rows recorded: $(cat "$work/autorun.log")"
(($(numbered_rows "$work/recording/rows.xls") >= 1)) || fail "the exported table holds no rows"
check "recorded $(grep -Eo '^recorded [0-9]+ rows' "$work/autorun.log" | cut -d' ' -f2) rows and exported them"

# The installed logger, as its service runs it: no environment for the library.
if [[ -d "$root/logger" ]]; then
  mkdir "$work/logger"
  (cd "$work/logger" && exec pondus-log --port "$work/window-com1" --balances 1 --count 2 --output rows.tsv) \
    > "$work/logger.log" 2>&1 || { cat "$work/logger.log" >&2; fail "pondus-log did not record"; }
  (($(numbered_rows "$work/logger/rows.tsv") == 2)) || fail "pondus-log did not write its two rows"
  check "pondus-log recorded rows through the installed library"
fi

# The training entry: the simulator runs while the program does and stops with it.
mkdir -p "$work/home" "$work/runtime"
training_exec="$(sed -n 's/^Exec=//p' /usr/share/applications/org.pondus.Pondus.Training.desktop)"
HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" $training_exec > "$work/training.log" 2>&1 &
launcher=$!
pids+=("$launcher")
await "the training simulator" pgrep -P "$launcher" -x balance-sim > /dev/null
simulator="$(pgrep -P "$launcher" -x balance-sim)"
await "the training window" bash -c "pgrep -P $launcher -x pondus > '$work/training-program'"
training_program="$(cat "$work/training-program")"
await "the training window" bash -c "xdotool search --onlyvisible --pid $training_program > /dev/null"
grep -q 'FCLB(2)=1' "$work/home/PONDUS/training/PONDUS.ini" || fail "the training settings were not set up"
kill -TERM "$training_program"
reap "$launcher" "the training launcher" || fail "the training launcher ended with status $?"
! kill -0 "$simulator" 2>/dev/null || fail "the training simulator still runs after the program ended"
[[ -z "$(ls -A "$work/runtime")" ]] || fail "the training left its link behind"
check "training entry: simulator started with the program and stopped with it"

# Removal: nothing of the package stays but the user's files.
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq pondus > "$work/remove.log" 2>&1 ||
  { cat "$work/remove.log" >&2; fail "apt-get remove --purge failed"; }
! dpkg-query -W -f='${db:Status-Status}' pondus 2>/dev/null | grep -qv '^not-installed$' || fail "pondus still known to dpkg"
while read -r path; do
  [[ -d "$path" ]] && continue # shared folders such as /usr/bin and /lib
  [[ ! -e "$path" ]] || fail "$path stayed after the purge"
done < "$work/files"
for dir in "$libdir" /usr/share/pondus /usr/share/doc/pondus /usr/include/trutina; do
  [[ ! -e "$dir" ]] || fail "$dir stayed after the purge"
done
[[ -s "$work/empty/PONDUS.ini" && -s "$work/home/PONDUS/training/PONDUS.ini" ]] || fail "the user's settings were removed"
check "purged: no file of the package stays, the user's files do"

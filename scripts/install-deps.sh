#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need;
# with --windows those of the Windows build of the library and its tests
# under Wine instead: the MinGW-w64 cross compiler with POSIX threads (the
# win32 thread model has no std::thread) and the 64-bit Wine loader.
# Idempotent: only packages that are missing are installed.
set -euo pipefail

if [[ "${1:-}" == "--windows" ]]; then
  packages=(
    cmake ninja-build make
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine64
  )
else
  packages=(
    cmake ninja-build g++ make pkg-config
    libgtest-dev libgmock-dev
    qt6-base-dev qt6-charts-dev libqt6opengl6-dev libsimpleini-dev
    xvfb xauth imagemagick
    locales
    libsqlite3-dev sqlite3
    libxlsxwriter-dev python3-openpyxl
    poppler-utils fonts-dejavu-core
    qt6-serialport-dev qt6-translations-l10n
    libcli11-dev
    libmosquitto-dev mosquitto mosquitto-clients openssl libssl-dev nlohmann-json3-dev
    libcpp-httplib-dev libjs-chart.js chromium chromium-driver python3-selenium
    help2man lintian desktop-file-utils appstream systemd
    file fakeroot dpkg-dev
    librsvg2-bin xdotool man-db procps python3 curl
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The application's tests format numbers under ru_RU (decimal comma).
if [[ "${1:-}" != "--windows" ]] && ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf8$'; then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  if ! grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ru_RU.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi

#!/bin/sh
# Installs the Debian 12 packages Quorvel needs to build, test and run.
# Idempotent: installs only what is missing, and refreshes the package lists
# only when something has to be installed. Run as root (or through sudo).
# `tools/setup-debian.sh --list` prints the list and installs nothing
# (tools/build-arm64.sh takes the libraries' -dev packages from it).
set -eu

PACKAGES="
build-essential cmake pkg-config git ca-certificates
dpkg-dev file desktop-file-utils
libgtest-dev libgmock-dev googletest libbenchmark-dev
qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-qpa-plugins libxcb1-dev
libhidapi-dev libudev-dev
qt6-httpserver-dev qt6-websockets-dev
libmosquitto-dev mosquitto mosquitto-clients openssl python3-jsonschema
libpq-dev postgresql
xvfb xauth x11-utils openbox wmctrl xdotool imagemagick
locales
fonts-dejavu-core fonts-liberation
clang-14 libclang-rt-14-dev
valgrind time
python3-astropy chromium
"

if [ "${1:-}" = "--list" ]; then
  for p in $PACKAGES; do echo "$p"; done
  exit 0
fi

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=""
for p in $PACKAGES; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in
    "install ok installed") ;;
    *) missing="$missing $p" ;;
  esac
done

if [ -n "$missing" ]; then
  echo "Installing:$missing"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
fi

# Tests check that numbers keep "." under a decimal-comma locale, and that
# date columns stay readable under locales whose digits or time words fall
# outside Windows-1252 (Arabic, Japanese, Persian).
for loc in de_DE.UTF-8 ar_EG.UTF-8 ja_JP.UTF-8 fa_IR.UTF-8; do
  short=$(echo "$loc" | sed 's/\.UTF-8$//')
  if ! locale -a 2>/dev/null | grep -qi "^$short\.utf-\?8$"; then
    if [ -f /etc/locale.gen ]; then
      as_root sed -i "s/^# *\($short\.UTF-8 UTF-8\)/\1/" /etc/locale.gen
      grep -q "^$short.UTF-8 UTF-8" /etc/locale.gen || echo "$short.UTF-8 UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
      regen=1
    fi
  fi
done
if [ -n "${regen:-}" ]; then as_root locale-gen >/dev/null; fi

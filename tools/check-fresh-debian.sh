#!/bin/sh
# Installs the Debian packages on a fresh Debian 12 and uses them as a new
# user would: a clean root made by debootstrap in a temporary folder,
# quorvel-headless installed alone with its dependencies (and no X11, OpenGL
# or Qt GUI package coming with it), a headless simulated run and quorvel-sun
# as a normal user, the user service through systemd-analyze, the udev rule
# through Debian's own udev, then the window's package quorvel and the window
# under Xvfb, and apt remove leaving nothing behind. Slow (a few minutes,
# downloads about 150 MB); not part of CI.
#
# usage: tools/check-fresh-debian.sh [quorvel-headless_VERSION_amd64.deb quorvel_VERSION_amd64.deb]
# Without arguments it takes the two packages in build/package/, building
# them first when they are missing. Needs root. QUORVEL_DEBIAN_MIRROR replaces debootstrap's
# default mirror; QUORVEL_KEEP_ROOT=1 keeps the root for a look afterwards.
set -eu
cd "$(dirname "$0")/.."

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
step() {
  echo "== $* ($(date -u +%H:%M:%S))"
}

[ "$(id -u)" -eq 0 ] || fail "run as root: debootstrap and chroot need it"

if [ $# -ge 2 ]; then
  headless_deb=$1
  deb=$2
else
  headless_deb=$(ls build/package/quorvel-headless_*_amd64.deb 2>/dev/null | tail -n 1 || true)
  deb=$(ls build/package/quorvel_*_amd64.deb 2>/dev/null | tail -n 1 || true)
  if [ -z "$deb" ] || [ -z "$headless_deb" ]; then
    step "building the packages"
    cmake --workflow --preset package
    headless_deb=$(ls build/package/quorvel-headless_*_amd64.deb | tail -n 1)
    deb=$(ls build/package/quorvel_*_amd64.deb | tail -n 1)
  fi
fi
[ -f "$headless_deb" ] || fail "no package $headless_deb"
[ -f "$deb" ] || fail "no package $deb"

if ! command -v debootstrap >/dev/null 2>&1; then
  step "installing debootstrap"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap
fi

root=$(mktemp -d /var/tmp/quorvel-fresh.XXXXXX)
# The root folder of a machine: everyone may enter it.
chmod 755 "$root"
cleanup() {
  for m in dev/pts proc; do
    mountpoint -q "$root/$m" 2>/dev/null && umount "$root/$m"
  done
  rm -f "$root.debootstrap.log"
  if [ "${QUORVEL_KEEP_ROOT:-0}" = 1 ]; then
    echo "root kept in $root"
  else
    rm -rf "$root"
  fi
}
trap cleanup EXIT
start=$(date +%s)

step "debootstrap bookworm (minbase) into $root"
# shellcheck disable=SC2086
debootstrap --variant=minbase bookworm "$root" ${QUORVEL_DEBIAN_MIRROR:-} >"$root.debootstrap.log" 2>&1 ||
  { tail -n 20 "$root.debootstrap.log"; fail "debootstrap"; }
# What a booted machine has: /proc, and terminals for apt's log.
mount -t proc proc "$root/proc"
mkdir -p "$root/dev/pts"
mount -t devpts devpts "$root/dev/pts"

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
as_user() { chroot --userspec=observer:observer "$root" env -i HOME=/home/observer PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
apt_install() { in_root apt-get install -y -q --no-install-recommends "$@" >"$root/tmp/apt.log" 2>&1 || { tail -n 20 "$root/tmp/apt.log"; fail "apt-get install $*"; }; }

# "Need to get 12.3 MB of archives." and the packages set up, from apt's log.
apt_summary() {
  echo "   $(grep -c '^Setting up' "$root/tmp/apt.log") packages set up, $(sed -n 's/^Need to get \([^ ]* [kMG]*B\).*/\1/p' "$root/tmp/apt.log" | head -n 1) downloaded"
}

step "apt install ./$(basename "$headless_deb") alone (Depends only, no Recommends)"
cp "$headless_deb" "$deb" "$root/tmp/"
headless_pkg=/tmp/$(basename "$headless_deb")
pkg=/tmp/$(basename "$deb")
in_root apt-get update -q >/dev/null
apt_install "$headless_pkg"
apt_summary
# A computer without a display gets nothing that draws.
display=$(in_root dpkg-query -W -f='${Package}\n' | grep -E '^(libx11-|libxcb|libgl1|libegl|libglx|libopengl|libqt6gui|libqt6widgets|libqt6charts|libqt6opengl|libwayland|qt6-qpa-plugins)' || true)
[ -z "$display" ] || fail "quorvel-headless brought display packages:" $display
echo "   no X11, OpenGL or Qt GUI package installed"
in_root dpkg-query -L quorvel-headless | sort >"$root/tmp/quorvel.files"
in_root useradd -m observer

step "quorvel-headless --simulate --duration 120 --speed 60 (as a normal user)"
rc=0
as_user quorvel-headless --simulate --duration 120 --speed 60 >"$root/tmp/run.log" 2>&1 || rc=$?
[ "$rc" -eq 0 ] || { tail -n 20 "$root/tmp/run.log"; fail "headless run exited with $rc"; }
grep -q 'Connected to -> HID QLX SOLAR' "$root/tmp/run.log" || fail "the simulated instrument was not attached"
data=$root/home/observer/Documents/Quorvel
if ! ls "$data"/*_Results.txt >/dev/null 2>&1; then
  # At night the simulated Sun is down and nothing is valid: measure at noon.
  noon=$(date -u +%Y-%m-%d)T11:00:00
  echo "   no results file (the Sun is down at the default site now): again from $noon UTC"
  as_user quorvel-headless --simulate --duration 120 --speed 60 --clock-start "$noon" >"$root/tmp/run.log" 2>&1 || rc=$?
  [ "$rc" -eq 0 ] || fail "headless run from $noon exited with $rc"
fi
results=$(ls "$data"/*_Results.txt | head -n 1)
lines=$(wc -l <"$results")
head -c 10 "$results" | grep -q '^Local Date' || fail "$results has no header"
[ "$lines" -ge 100 ] || fail "$results holds $lines lines, expected about 120"
echo "   $(basename "$results"): header + $((lines - 1)) measurements, owner $(in_root stat -c %U "${results#"$root"}")"

step "quorvel-sun --help"
as_user quorvel-sun --help >"$root/tmp/sun.txt" 2>&1 || rc=$?
[ "$rc" -eq 0 ] || fail "quorvel-sun --help exited with $rc"
grep -q '^usage: quorvel-sun' "$root/tmp/sun.txt" || fail "quorvel-sun --help printed no usage"

step "systemd-analyze verify on the user service"
apt_install systemd
in_root systemd-analyze verify --man=no /usr/lib/systemd/user/quorvel-headless.service ||
  fail "systemd-analyze verify refuses the user service"

step "udev rule through Debian's udev (udevadm test on a simulated sysfs)"
apt_install udev
# udevadm is there now but no udev daemon runs: the maintainer scripts must
# still succeed.
in_root apt-get install -y -q --reinstall --no-install-recommends "$headless_pkg" >/dev/null 2>&1 ||
  fail "reinstall with udevadm present but no daemon"
# A sysfs tree as the kernel lays it out for a USB HID device: the usb_device
# with idVendor/idProduct, its interface, the hid device, the hidraw node.
fake_hidraw() { # usb-port vendor product hid-instance minor
  u=/sys/devices/pci0000:00/0000:00:14.0/usb1/$1
  i=$u/$1:1.0
  h=$i/$4
  n=$h/hidraw/hidraw$5
  mkdir -p "$root$n" "$root/sys/bus/usb" "$root/sys/bus/hid" "$root/sys/class/hidraw"
  echo "$2" >"$root$u/idVendor"
  echo "$3" >"$root$u/idProduct"
  printf 'MAJOR=189\nMINOR=%s\nDEVNAME=bus/usb/001/%03d\nDEVTYPE=usb_device\n' "$5" "$((5 + 2))" >"$root$u/uevent"
  printf 'DEVTYPE=usb_interface\n' >"$root$i/uevent"
  printf 'HID_ID=0003:0000%s:0000%s\n' "$2" "$3" >"$root$h/uevent"
  printf 'MAJOR=242\nMINOR=%s\nDEVNAME=hidraw%s\n' "$5" "$5" >"$root$n/uevent"
  echo "242:$5" >"$root$n/dev"
  ln -s /sys/bus/usb "$root$u/subsystem"
  ln -s /sys/bus/usb "$root$i/subsystem"
  ln -s /sys/bus/hid "$root$h/subsystem"
  ln -s /sys/class/hidraw "$root$n/subsystem"
  echo "$n"
}
current_tags() {
  rm -rf "$root/run/udev/data"
  # The tree is not a real sysfs: let udevadm read it all the same.
  in_root SYSTEMD_DEVICE_VERIFY_SYSFS=0 udevadm test --action=add "$1" 2>/dev/null |
    sed -n 's/^CURRENT_TAGS=//p'
}
instrument=$(fake_hidraw 1-1 04d8 003f 0003:04D8:003F.0001 0)
mouse=$(fake_hidraw 1-2 046d c077 0003:046D:C077.0002 1)
# systemd's 73-seat-late.rules turns the tag into the seat user's ACL.
[ -f "$root/usr/lib/udev/rules.d/73-seat-late.rules" ] || fail "no 73-seat-late.rules to act on the tag"
case "$(current_tags "$instrument")" in
  *:uaccess:*) echo "   instrument 04d8:003f hidraw: tagged uaccess" ;;
  *) fail "the instrument's hidraw node is not tagged uaccess" ;;
esac
case "$(current_tags "$mouse")" in
  *:uaccess:*) fail "another HID device (046d:c077) is tagged uaccess" ;;
  *) echo "   other HID device 046d:c077: not tagged" ;;
esac
case "$(current_tags /sys/devices/pci0000:00/0000:00:14.0/usb1/1-1)" in
  *:uaccess:*) fail "the instrument's raw USB device is tagged uaccess" ;;
  *) echo "   instrument's usb_device node: not tagged" ;;
esac

step "apt install ./$(basename "$deb"), the window (Depends only, no Recommends)"
apt_install "$pkg"
apt_summary
in_root dpkg-query -L quorvel | sort >>"$root/tmp/quorvel.files"

step "the window under Xvfb: quorvel --simulate --duration 5"
apt_install xvfb xauth
as_user xvfb-run -a quorvel --simulate --duration 5 >"$root/tmp/gui.log" 2>&1 ||
  { cat "$root/tmp/gui.log"; fail "the window did not start and close cleanly"; }

step "apt remove quorvel quorvel-headless"
in_root apt-get remove -y -q quorvel quorvel-headless >"$root/tmp/remove.log" 2>&1 || { cat "$root/tmp/remove.log"; fail "apt-get remove"; }
left=""
while read -r path; do
  [ "$path" = "/." ] && continue
  if [ -d "$root$path" ]; then
    # Folders stay only while other packages or files use them.
    [ -n "$(ls -A "$root$path")" ] || left="$left $path"
  elif [ -e "$root$path" ] || [ -L "$root$path" ]; then
    left="$left $path"
  fi
done <"$root/tmp/quorvel.files"
[ -z "$left" ] || fail "left behind:$left"
status=$(in_root dpkg-query -W -f='${db:Status-Abbrev} ' quorvel quorvel-headless 2>/dev/null || true)
# "rc": removed; dpkg keeps the package's postrm until a purge.
echo "   no file of the package left ($(wc -l <"$root/tmp/quorvel.files") paths checked), dpkg status '$status'"
if [ -f "$results" ]; then echo "   the user's results file is kept: $(basename "$results")"; fi

echo "PASSED in $(($(date +%s) - start)) s: $(basename "$headless_deb") and $(basename "$deb") on a fresh Debian 12"

#!/bin/sh
# Builds the Debian packages quorvel-headless and quorvel for arm64 (Raspberry
# Pi OS bookworm 64-bit, Debian 12 arm64) on an amd64 Debian 12, then checks
# them on an arm64 Debian 12 run under qemu-user:
#
# 1. Build root: an amd64 Debian 12 made by debootstrap in the cache folder
#    (not this machine's own system, whose amd64 build stays as it is), with
#    Debian's multiarch cross toolchain (crossbuild-essential-arm64) and the
#    :arm64 development packages of the libraries tools/setup-debian.sh lists.
#    `cmake --workflow --preset package-arm64` cross-builds there at native
#    speed, with ccache.
# 2. Check root: a fresh copy of an arm64 Debian 12 (debootstrap --arch=arm64,
#    run through qemu-aarch64 and binfmt_misc). The two packages are
#    installed with apt and their dependencies, and
#    `quorvel-headless --simulate --duration 60 --speed 60` runs as a user.
# 3. Identity: tools/identity-day.sh runs the amd64 build (build/default) on
#    a whole simulated day and the Sun tables; the installed arm64
#    programs replay the same capture and compute the same tables, and every
#    output must be byte-identical to the amd64 one and to
#    tests/identity/SHA256SUMS. The arm64 programs also simulate the day
#    themselves, which must give the same capture.
#
# Idempotent: the roots are made once and kept in the cache folder, packages
# are installed only when missing, the build is incremental, and each check
# starts from a fresh copy of the arm64 root. Needs root (debootstrap,
# chroot, mounts). First run about 25 minutes, then about 10; see README.
#
# usage: tools/build-arm64.sh [--no-check]
# Environment: QUORVEL_ARM64_CACHE (default /var/cache/quorvel-arm64),
# QUORVEL_DEBIAN_MIRROR (default http://deb.debian.org/debian),
# QUORVEL_AMD64_BUILD (amd64 build folder, default build/default),
# QUORVEL_KEEP_ROOT=1 keeps the check root for a look afterwards.
set -eu
cd "$(dirname "$0")/.."
src=$(pwd)

check=1
case "${1:-}" in
  "") ;;
  --no-check) check=0 ;;
  *)
    echo "usage: $0 [--no-check]" >&2
    exit 2
    ;;
esac

cache=${QUORVEL_ARM64_CACHE:-/var/cache/quorvel-arm64}
mirror=${QUORVEL_DEBIAN_MIRROR:-http://deb.debian.org/debian}
amd64_build=${QUORVEL_AMD64_BUILD:-build/default}
out=build/package-arm64

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
step() {
  echo "== $* ($(date -u +%H:%M:%S))"
}
since() {
  echo "$(($(date +%s) - $1)) s"
}

[ "$(id -u)" -eq 0 ] || fail "run as root: debootstrap, chroot and mounts need it"
start=$(date +%s)

# -- This machine: debootstrap, qemu-user and binfmt_misc ---------------------

missing=""
for p in debootstrap qemu-user-static binfmt-support; do
  case "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" in
    "install ok installed") ;;
    *) missing="$missing $p" ;;
  esac
done
if [ -n "$missing" ]; then
  step "installing$missing"
  DEBIAN_FRONTEND=noninteractive apt-get update -q >/dev/null
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing >/dev/null
fi
if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc ||
    fail "binfmt_misc cannot be mounted here: arm64 programs cannot be run in a chroot"
fi
[ -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ] || update-binfmts --enable qemu-aarch64 ||
  fail "update-binfmts --enable qemu-aarch64"

mkdir -p "$cache/ccache"
mounts=""
root=""
cleanup() {
  for m in $mounts; do
    mountpoint -q "$m" 2>/dev/null && umount "$m"
  done
  if [ -n "$root" ]; then
    if [ "${QUORVEL_KEEP_ROOT:-0}" = 1 ]; then echo "check root kept in $root"; else rm -rf "$root"; fi
  fi
}
trap cleanup EXIT
# mount_in ROOT: /proc and terminals for apt, unmounted at the end.
mount_in() {
  mount -t proc proc "$1/proc"
  mounts="$1/proc $mounts"
  mkdir -p "$1/dev/pts"
  mount -t devpts devpts "$1/dev/pts"
  mounts="$1/dev/pts $mounts"
}
# make_root DIR [debootstrap options]: a minimal Debian 12, made once.
make_root() {
  dir=$1
  shift
  [ -f "$dir/.quorvel-root" ] && return 0
  rm -rf "$dir.new"
  mkdir -p "$dir.new"
  chmod 755 "$dir.new"
  debootstrap --variant=minbase "$@" bookworm "$dir.new" "$mirror" >"$dir.log" 2>&1 ||
    { tail -n 20 "$dir.log"; fail "debootstrap $*"; }
  touch "$dir.new/.quorvel-root"
  rm -rf "$dir"
  mv "$dir.new" "$dir"
}
in_root() {
  r=$1
  shift
  chroot "$r" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
# install_missing ROOT PACKAGE...: apt-get install of what is not installed yet.
install_missing() {
  r=$1
  shift
  need=""
  for p in "$@"; do
    case "$(in_root "$r" dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" in
      "install ok installed") ;;
      *) need="$need $p" ;;
    esac
  done
  [ -n "$need" ] || return 0
  echo "   installing$need"
  in_root "$r" apt-get update -q >"$r/tmp/apt.log" 2>&1 || { tail -n 20 "$r/tmp/apt.log"; fail "apt-get update"; }
  # shellcheck disable=SC2086
  in_root "$r" apt-get install -y -q --no-install-recommends $need >"$r/tmp/apt.log" 2>&1 ||
    { tail -n 20 "$r/tmp/apt.log"; fail "apt-get install$need"; }
}

# -- 1. Cross build ------------------------------------------------------------

cross=$cache/cross
step "build root $cross (amd64 Debian 12, multiarch cross toolchain)"
make_root "$cross"
mount_in "$cross"
in_root "$cross" dpkg --add-architecture arm64
# The libraries the program links: the -dev packages of tools/setup-debian.sh,
# without the test, benchmark and packaging tools.
libs=$(tools/setup-debian.sh --list | grep -- '-dev$' |
  grep -v -x -e dpkg-dev -e libgtest-dev -e libgmock-dev -e libbenchmark-dev -e 'libclang-rt-.*-dev' |
  sed 's/$/:arm64/')
# The build machine's side: compilers, CMake, and Qt's code generators with
# the CMake files that find them (the amd64 qt6-base-dev).
# shellcheck disable=SC2086
install_missing "$cross" crossbuild-essential-arm64 cmake pkg-config ccache dpkg-dev file gzip \
  qt6-base-dev-tools qt6-base-dev:amd64 $libs

mkdir -p "$cross/src" "$cross/ccache"
mount --bind "$src" "$cross/src"
mounts="$cross/src $mounts"
mount --bind "$cache/ccache" "$cross/ccache"
mounts="$cross/ccache $mounts"

step "cmake --workflow --preset package-arm64 (cross build)"
t=$(date +%s)
rm -f "$out"/*.deb
in_root "$cross" env CCACHE_DIR=/ccache CCACHE_BASEDIR=/src DEB_HOST_ARCH=arm64 sh -c '
  cd /src &&
  cmake --preset package-arm64 -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/tmp/build.log 2>&1 &&
  nice -n 10 cmake --build --preset package-arm64 >>/tmp/build.log 2>&1 &&
  cpack --preset package-arm64 >>/tmp/build.log 2>&1' ||
  { tail -n 30 "$cross/tmp/build.log"; fail "the cross build (log: $cross/tmp/build.log)"; }
headless_deb=$(ls "$out"/quorvel-headless_*_arm64.deb)
deb=$(ls "$out"/quorvel_*_arm64.deb)
for d in "$headless_deb" "$deb"; do
  [ "$(dpkg-deb -f "$d" Architecture)" = arm64 ] || fail "$d is not an arm64 package"
  echo "   $(basename "$d"): $(du -k "$d" | cut -f1) KB, Depends: $(dpkg-deb -f "$d" Depends)"
done
file -L "$src/$out/app/quorvel-headless" | grep -q 'ARM aarch64' || fail "quorvel-headless is not an arm64 program"
echo "   built in $(since "$t")"

if [ "$check" = 0 ]; then
  echo "BUILT in $(since "$start"): $headless_deb $deb"
  exit 0
fi

# -- 2. Install on an arm64 Debian 12 ------------------------------------------

step "arm64 Debian 12 root (debootstrap under qemu-aarch64, made once)"
t=$(date +%s)
make_root "$cache/arm64" --arch=arm64
root=$(mktemp -d /var/tmp/quorvel-arm64.XXXXXX)
chmod 755 "$root"
cp -a "$cache/arm64/." "$root/"
mount_in "$root"
[ "$(in_root "$root" dpkg --print-architecture)" = arm64 ] || fail "the check root is not arm64"
echo "   fresh copy in $root ($(since "$t"))"

step "apt install ./$(basename "$headless_deb") ./$(basename "$deb")"
t=$(date +%s)
cp "$headless_deb" "$deb" "$root/tmp/"
in_root "$root" apt-get update -q >"$root/tmp/apt.log" 2>&1 || { tail -n 20 "$root/tmp/apt.log"; fail "apt-get update"; }
in_root "$root" apt-get install -y -q --no-install-recommends "/tmp/$(basename "$headless_deb")" \
  "/tmp/$(basename "$deb")" >"$root/tmp/apt.log" 2>&1 ||
  { tail -n 20 "$root/tmp/apt.log"; fail "apt-get install of the arm64 packages"; }
echo "   $(grep -c '^Setting up' "$root/tmp/apt.log") packages set up ($(since "$t"))"
in_root "$root" useradd -m observer
as_user() { chroot --userspec=observer:observer "$root" env -i HOME=/home/observer PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

step "quorvel-headless --simulate --duration 60 --speed 60 (arm64, as a user)"
t=$(date +%s)
# At noon, so that the simulated Sun is up and lines are written.
as_user quorvel-headless --simulate --duration 60 --speed 60 --clock-start "$(date -u +%Y-%m-%d)T11:00:00" \
  >"$root/tmp/run.log" 2>&1 || { tail -n 20 "$root/tmp/run.log"; fail "the headless run"; }
grep -q 'Connected to -> HID QLX SOLAR' "$root/tmp/run.log" || fail "the simulated instrument was not attached"
results=""
for f in "$root/home/observer/Documents/Quorvel/"*_Results.txt; do [ -f "$f" ] && results=$f; done
[ -n "$results" ] || fail "the headless run wrote no results file"
echo "   $(($(wc -l <"$results") - 1)) measurements in $(basename "$results") ($(since "$t"))"

# -- 3. The same results on both -----------------------------------------------

step "amd64 reference: tools/identity-day.sh with $amd64_build"
t=$(date +%s)
if [ ! -x "$amd64_build/app/quorvel-headless" ] || [ ! -x "$amd64_build/sun/quorvel-sun" ]; then
  [ -f "$amd64_build/CMakeCache.txt" ] || cmake --preset default >/dev/null
  nice -n 10 cmake --build "$amd64_build" --target quorvel-headless quorvel-sun >/dev/null
fi
ref=$cache/identity-amd64
tools/identity-day.sh "$amd64_build/app/quorvel-headless" "$amd64_build/sun/quorvel-sun" \
  tests/ephemeris/data/sun_reference.csv "$ref"
cmp -s "$ref/SHA256SUMS" tests/identity/SHA256SUMS ||
  { diff "$ref/SHA256SUMS" tests/identity/SHA256SUMS || true; fail "the amd64 build differs from tests/identity/SHA256SUMS"; }
echo "   $(grep -vc '^#' "$ref/capture.txt") reports, as committed ($(since "$t"))"

mkdir -p "$root/tmp/identity"
cp tools/identity-day.sh tests/ephemeris/data/sun_reference.csv "$ref/capture.txt" "$root/tmp/identity/"
chmod -R a+rX "$root/tmp/identity"
chmod 1777 "$root/tmp/identity"
# compare NAME: every output of the arm64 run against the amd64 one.
compare() {
  while read -r _ f; do
    cmp "$ref/$f" "$root/tmp/identity/$1/$f" || fail "$f differs between amd64 and arm64 ($1)"
  done <"$ref/SHA256SUMS"
  cmp -s "$ref/SHA256SUMS" "$root/tmp/identity/$1/SHA256SUMS" || fail "$1: SHA256SUMS differ"
}

step "arm64 under qemu: replay of the amd64 capture, quorvel-sun --batch on the tables"
t=$(date +%s)
as_user sh /tmp/identity/identity-day.sh quorvel-headless quorvel-sun /tmp/identity/sun_reference.csv \
  /tmp/identity/replay /tmp/identity/capture.txt || fail "the arm64 identity run"
compare replay
echo "   results file and quorvel-sun outputs byte-identical to amd64 ($(since "$t"))"

step "arm64 under qemu: the simulated day itself, then its replay"
t=$(date +%s)
as_user sh /tmp/identity/identity-day.sh quorvel-headless quorvel-sun /tmp/identity/sun_reference.csv \
  /tmp/identity/simulated || fail "the arm64 simulated day"
compare simulated
echo "   capture, results file and quorvel-sun outputs byte-identical to amd64 ($(since "$t"))"

echo "PASSED in $(since "$start"): $headless_deb and $deb"

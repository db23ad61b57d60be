#!/usr/bin/env bash
# The .deb on a fresh Debian 12: a minimal system made by debootstrap, in which apt installs the
# package with whatever it declares it needs, and its programs then run: proof that the
# dependencies are declared, which a machine that has them all already cannot give. Run as root.
#
# usage: deb_fresh_test.sh quillon-converter_<version>_amd64.deb [MIRROR]
set -euo pipefail
deb=$(realpath "$1")
mirror=${2:-http://deb.debian.org/debian}
top=$(cd "$(dirname "$0")/../.." && pwd)
version=$(dpkg-deb -f "$deb" Version)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
failures=0
check() {  # check WHAT COMMAND...: runs COMMAND in the fresh system, says ok or FAILED
  local what=$1
  shift
  if chroot "$root" "$@" > "$work/check.log" 2>&1; then
    echo "ok      $what"
  else
    echo "FAILED  $what"
    sed 's/^/        /' "$work/check.log"
    failures=$((failures + 1))
  fi
}

echo "debootstrap --variant=minbase bookworm"
debootstrap --variant=minbase bookworm "$root" "$mirror" > "$work/debootstrap.log" 2>&1 ||
  { tail -20 "$work/debootstrap.log"; exit 1; }
cp "$deb" "$root/tmp/"
cp "$top/samples/Sample Inbox.mbx" "$root/tmp/"
echo "apt-get install ./$(basename "$deb") (no recommended packages)"
chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "/tmp/$(basename "$deb")" > "$work/apt.log" 2>&1 || { tail -20 "$work/apt.log"; exit 1; }
echo "  $(grep -c '^Setting up' "$work/apt.log") packages set up"

for program in quillon-converter quillon-convert eml2msg eml2pst pstcheck; do
  check "$program --version prints $version" \
    sh -c "[ \"\$($program --version)\" = '$program $version' ]"
done
check "quillon-convert --format pst" \
  quillon-convert --quiet --format pst --output /tmp/out "/tmp/Sample Inbox.mbx"
check "pstcheck of the data file" pstcheck "/tmp/out/Sample Inbox.mbx.pst"
check "the window starts (offscreen) and stays up" \
  sh -c 'QT_QPA_PLATFORM=offscreen timeout 5 quillon-converter; [ $? -eq 124 ]'
check "the platform plugin of a desktop (xcb) is there" \
  sh -c 'ls /usr/lib/*/qt6/plugins/platforms/libqxcb.so'

[ $failures -eq 0 ] && echo "deb fresh-system test: all passed" ||
  echo "deb fresh-system test: $failures failed"
exit $((failures > 0))

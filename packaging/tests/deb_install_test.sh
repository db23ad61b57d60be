#!/usr/bin/env bash
# Installs the .deb on this machine with apt (which brings what it depends on), runs what it
# installed as a user would, and removes it again: nothing of it may stay. Run as root, on a
# machine where the package is not installed otherwise.
#
# usage: deb_install_test.sh quillon-converter_<version>_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
top=$(cd "$(dirname "$0")/../.." && pwd)
version=$(dpkg-deb -f "$deb" Version)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT COMMAND...: runs COMMAND, says ok or FAILED
  local what=$1
  shift
  if "$@" > "$work/check.log" 2>&1; then
    echo "ok      $what"
  else
    echo "FAILED  $what"
    sed 's/^/        /' "$work/check.log"
    failures=$((failures + 1))
  fi
}

if dpkg-query -W -f='${Status}' quillon-converter 2>/dev/null | grep -q 'install ok installed'; then
  echo "quillon-converter is installed already: remove it first" >&2
  exit 1
fi

echo "apt-get install $deb"
apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "$deb" > "$work/apt" 2>&1 ||
  { cat "$work/apt"; exit 1; }
grep -E '^(Setting up|Unpacking)' "$work/apt" | sed 's/^/  /'
dpkg -L quillon-converter | sort > "$work/files"

for program in quillon-converter quillon-convert eml2msg eml2pst pstcheck; do
  check "$program --version prints $version" \
    sh -c "[ \"\$(/usr/bin/$program --version)\" = \"$program $version\" ]"
  check "man page of $program" man -w "$program"
done

# The sample mailbox into a data file, checked by our checker and by libpff.
mkdir -p "$work/mail"
cp "$top/samples/Sample Inbox.mbx" "$work/mail/"
check "quillon-convert --format pst" quillon-convert --quiet --format pst --output "$work/out-pst" \
  "$work/mail/Sample Inbox.mbx"
check "pstcheck of the data file" pstcheck "$work/out-pst/Sample Inbox.mbx.pst"
check "pffexport of the data file" pffexport -q -t "$work/export" "$work/out-pst/Sample Inbox.mbx.pst"
check "pffexport found messages" sh -c "find '$work/export.export' -name 'Message*' | grep -q ."

# The window starts and stays up until it is closed (offscreen: no display here), and finds its
# manual and icon where the desktop looks.
check "the window starts" sh -c \
  'QT_QPA_PLATFORM=offscreen timeout 5 quillon-converter; [ $? -eq 124 ]'
check "manual installed" test -s /usr/share/quillon-converter/manual.html
check "desktop entry" desktop-file-validate /usr/share/applications/*QuillonConverter.desktop
check "icon in the hicolor theme" test -s \
  /usr/share/icons/hicolor/48x48/apps/io.github.quillon_converter.QuillonConverter.png

echo "apt-get purge quillon-converter"
apt-get purge -y -qq -o DPkg::Lock::Timeout=600 quillon-converter > "$work/apt" 2>&1 ||
  { cat "$work/apt"; exit 1; }
grep -E '^(Removing|Purging)' "$work/apt" | sed 's/^/  /'
left=0
while read -r path; do
  # Folders the system shares (/usr, /usr/share/icons/...) stay; files of the package may not.
  if [ -e "$path" ] && [ ! -d "$path" ]; then
    echo "left behind: $path"
    left=$((left + 1))
  fi
done < "$work/files"
check "nothing of the package left ($(wc -l < "$work/files") paths)" test "$left" -eq 0
check "dpkg knows it no more" sh -c '! dpkg-query -W quillon-converter 2>/dev/null | grep -q .'

[ $failures -eq 0 ] && echo "deb install test: all passed" || echo "deb install test: $failures failed"
exit $((failures > 0))

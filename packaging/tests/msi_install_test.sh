#!/usr/bin/env bash
# Installs the .msi under Wine in a Wine prefix of its own, over an older version of itself,
# runs what it installed (every program's --version, a conversion into a .pst checked by
# pstcheck.exe and libpff's pffexport, the window under Xvfb), uninstalls it and finds nothing
# left: no file, no shortcut, no registry entry.
#
# usage: msi_install_test.sh NEW.msi STAGE PACKAGING
#   STAGE, PACKAGING   what NEW.msi was made of (packaging/windows/make-msi), for the older one
set -euo pipefail
msi=$(realpath "$1")
stage=$(realpath "$2")
packaging=$(realpath "$3")
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
export WINEPREFIX=$work/wine WINEARCH=win64 WINEDEBUG=-all
# No menu entries or file associations on this machine for what the installer makes inside Wine.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
cleanup() {
  wineserver -k 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {  # check WHAT COMMAND...: runs COMMAND, says ok or FAILED with its output
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

version=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
publisher=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^Manufacturer\t//p')
drive_c=$WINEPREFIX/drive_c
installed="$drive_c/Program Files/Quillon Converter"
# A machine-wide installation puts the shortcut in the Start menu of all users; Wine's installer
# puts it in the user's.
shortcuts=("$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quillon Converter.lnk"
           "$drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Quillon Converter.lnk")
shortcut() {
  local s
  for s in "${shortcuts[@]}"; do [ -e "$s" ] && echo "$s"; done
  return 0
}
# Through a file: a process Wine starts on the program's behalf (the desktop) keeps its output
# open after it ends, and a pipe would wait for that.
win() {
  local status=0
  wine "$@" < /dev/null > "$work/win.log" 2>&1 || status=$?
  sed 's/\r$//' "$work/win.log"
  return $status
}
in_wine() { echo "C:\\Program Files\\Quillon Converter\\$1"; }

# "Add or remove programs": the Uninstall entries that name the product, one line each:
# DisplayName|DisplayVersion|Publisher.
arp_entries() {
  wineserver -w
  python3 - "$WINEPREFIX/system.reg" <<'PY'
import re, sys
section, values, found = None, {}, []
def flush():
    if section and "\\Uninstall\\" in section and values.get("DisplayName") == "Quillon Converter":
        found.append("|".join(values.get(k, "") for k in ("DisplayName", "DisplayVersion", "Publisher")))
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    if line.startswith("["):
        flush()
        section, values = line.split("]")[0][1:], {}
    m = re.match(r'^"([^"]+)"="(.*)"$', line.strip())
    if m:
        values[m.group(1)] = m.group(2)
flush()
print("\n".join(found))
PY
}

echo "Wine prefix"
wineboot -i > "$work/wineboot.log" 2>&1
wineserver -w

# An older version with a file the new one no longer has: the upgrade must take it away.
cp -r "$stage" "$work/old-stage"
echo "from the older version" > "$work/old-stage/old-only.txt"
"$top/packaging/windows/make-msi" "$work/old-stage" "$packaging" "$work/older.msi" 0.9.0
check "msiexec /i the older version (0.9.0)" win msiexec /i "$work/older.msi" /qn
check "the older version's own file installed" test -f "$installed/old-only.txt"
entries=$(arp_entries)
check "one entry in Add or remove programs: 0.9.0" \
  test "$entries" = "Quillon Converter|0.9.0|$publisher"

echo "msiexec /i $(basename "$msi") /qn"
check "msiexec /i $version over 0.9.0" win msiexec /i "$msi" /qn
check "the older version's file is gone" test ! -e "$installed/old-only.txt"
entries=$(arp_entries)
check "one entry in Add or remove programs: $version by $publisher" \
  test "$entries" = "Quillon Converter|$version|$publisher"
for f in quillon-converter.exe quillon-convert.exe eml2msg.exe eml2pst.exe pstcheck.exe \
  manual.html Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll libstdc++-6.dll; do
  check "installed: $f" test -s "$installed/$f"
done
shortcut=$(shortcut)
check "Start-menu shortcut: ${shortcut#"$drive_c/"}" test -n "$shortcut"
check "the shortcut leads to the window" \
  sh -c "strings -e l '$shortcut' | grep -qi 'quillon-converter.exe'"

for program in quillon-converter quillon-convert eml2msg eml2pst pstcheck; do
  check "$program.exe --version prints $version" \
    sh -c "out=\$(wine '$(in_wine "$program.exe")' --version < /dev/null | tr -d '\r');
           [ \"\$out\" = '$program $version' ] || { echo \"got: \$out\"; exit 1; }"
done

# The sample mailbox into a data file by the installed program, checked by the installed
# checker and by libpff.
mkdir -p "$work/mail"
cp "$top/samples/Sample Inbox.mbx" "$work/mail/"
check "quillon-convert.exe --format pst" win "$(in_wine quillon-convert.exe)" --quiet --format pst \
  --output "Z:${work//\//\\}\\out" "Z:${work//\//\\}\\mail\\Sample Inbox.mbx"
pst="$work/out/Sample Inbox.mbx.pst"
check "pstcheck.exe finds no fault" win "$(in_wine pstcheck.exe)" "Z:${pst//\//\\}"
check "pffexport reads it" pffexport -q -t "$work/export" "$pst"
check "pffexport finds its messages" sh -c "find '$work/export.export' -name 'Message*' | grep -q ."

# The window, with the platform plugin it was installed with, on a virtual display: it must
# start and stay up.
if command -v xvfb-run > /dev/null; then
  xvfb-run -a -s "-screen 0 1024x768x24" wine "$(in_wine quillon-converter.exe)" \
    > "$work/window.log" 2>&1 < /dev/null &
  window=$!
  sleep 15
  check "the window starts and stays up" kill -0 "$window"
  wineserver -k 2> /dev/null || true
  wait "$window" 2> /dev/null || true
else
  echo "skipped the window: no xvfb-run"
fi

echo "msiexec /x $(basename "$msi") /qn"
check "msiexec /x" win msiexec /x "$msi" /qn
check "nothing left in Program Files" test ! -e "$installed"
check "no shortcut left" test -z "$(shortcut)"
check "no entry in Add or remove programs" test -z "$(arp_entries)"
wineserver -w
check "no registry key of the product or its maker left" \
  sh -c "! grep -i -n -e 'Quillon' -e '$publisher' '$WINEPREFIX/system.reg' '$WINEPREFIX/user.reg'"
check "no file of it left in the prefix" \
  sh -c "! find '$drive_c' -iname '*quillon*' | grep ."

[ $failures -eq 0 ] && echo "msi install test: all passed" || echo "msi install test: $failures failed"
exit $((failures > 0))

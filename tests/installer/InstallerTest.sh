#!/usr/bin/env bash
# The installer round trip in a fresh Wine prefix of the build tree: install the package
# quietly, run the tour with the installed console host, uninstall it, and check that the
# files and the libraries' class keys are gone (type libraries stay registered, as the
# libraries' own unregistration leaves them).
#   tests/installer/InstallerTest.sh WIN_TREE MSI_FILE_IN_TREE
set -uo pipefail
tree=$(cd "$1" && pwd)
msi_path=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
msi="T:/${msi_path#"$tree"/}"
here=$(cd "$(dirname "$0")/../.." && pwd)
prefix="$tree/wine-prefix-installer"
folder="$prefix/drive_c/Program Files/Orvanta"
sfmain='HKCR\CLSID\{F86AC6C2-5578-4AE8-808A-DC5DAA78082A}'
vantorlib='HKCR\TypeLib\{8FD2426A-BD06-4DE8-A0DE-DE83CFA54296}'
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
run() { "$here/tools/winerun" --tree "$tree" --prefix installer "$@"; }

# A fresh prefix each time: the package must bring everything it needs.
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
rm -rf "$prefix" "$prefix.lock"

run msiexec.exe /i "$msi" /qn || fail "msiexec /i exited with $?"
for f in OrvantaVessa.dll Vantor.dll kestrun.exe kestrunc.exe cfgtool.exe samples/tour.js; do
  [ -f "$folder/$f" ] || fail "not installed: $f"
done
run reg.exe query "$sfmain\\InprocServer32" >/dev/null 2>&1 || fail "SFMain is not registered"
run reg.exe query "$vantorlib" >/dev/null 2>&1 || fail "the gateway's type library is not registered"

out=$(run 'C:\Program Files\Orvanta\kestrunc.exe' -nohelp 'C:\Program Files\Orvanta\samples\tour.js' 2>&1)
grep -q '^Done\.' <<<"$out" || fail "the installed kestrunc did not run the tour: $out"

run msiexec.exe /x "$msi" /qn || fail "msiexec /x exited with $?"
[ ! -e "$folder/kestrunc.exe" ] && [ ! -e "$folder/OrvantaVessa.dll" ] || fail "files left after uninstall"
run reg.exe query "$sfmain" >/dev/null 2>&1 && fail "SFMain's class key left after uninstall"

WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
[ $failures -eq 0 ] && echo "installer round trip: passed"
exit $((failures > 0))

#!/usr/bin/env bash
# Builds the Windows installer of one architecture with wixl (msitools) from
# packaging/windows/fsw.wxs, and prints its path:
#   package-msi.sh EXE x64|x86 VERSION OUTPUT.msi
# The starting settings and host list are written in the program's code page (Shift-JIS)
# with Windows line ends. What wixl cannot express is set in the database afterwards
# with msibuild: the settings kept by upgrades and removal, the conditions of the
# optional parts, the rollback action, and the removal of an older version before
# anything is installed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
exe=$1
arch=$2
version=$3
out=$4
case "$arch" in
    x64) bits=256 ;;  # the components' 64-bit attribute
    x86) bits=0 ;;
    *) echo "package-msi.sh: architecture x64 or x86, not '$arch'" >&2; exit 2 ;;
esac
[ -f "$exe" ] || { echo "package-msi.sh: no program $exe" >&2; exit 1; }

# wixl finds the sources by names relative to the current folder: all of them are
# gathered in one.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
iconv -f UTF-8 -t CP932 packaging/windows/fsw.ini | sed 's/$/\r/' >"$work/fsw.ini"
: >"$work/fsw.lst"
cp "$exe" "$work/fsw.exe"
cp res/fsw.ico packaging/windows/fsw.wxs "$work/"
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
(cd "$work" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D Exe=fsw.exe \
    -D Ini=fsw.ini -D List=fsw.lst -D Icon=fsw.ico -o "$out" fsw.wxs 2>&1 |
    { grep -v -e 'GLib-GObject-WARNING' -e '^$' >&2 || true; })
[ -f "$out" ] || { echo "package-msi.sh: wixl made no $out" >&2; exit 1; }
# Permanent (16) and never overwritten (128): the settings and the host list stay.
msibuild "$out" -q "UPDATE Component SET Attributes = $((bits + 144)) WHERE Component = 'Settings' OR Component = 'HostList'"
msibuild "$out" -q "UPDATE Component SET Condition = 'AUTOSTART = \"1\"' WHERE Component = 'Autostart'"
msibuild "$out" -q "UPDATE Component SET Condition = 'SERVICE = \"1\"' WHERE Component = 'ServiceChoice'"
msibuild "$out" -q "UPDATE Property SET Value = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;SERVICE;AUTOSTART' WHERE Property = 'SecureCustomProperties'"
# The service's removal on rollback: in the script (1024), run only on rollback (256).
msibuild "$out" -q "UPDATE CustomAction SET Type = 3410 WHERE Action = 'RollbackService'"
# The older version goes first, its service with it; then this one installs its own.
msibuild "$out" -q "UPDATE InstallExecuteSequence SET Sequence = 1510 WHERE Action = 'RemoveExistingProducts'"
echo "$out"

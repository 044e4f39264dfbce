#!/usr/bin/env bash
# Builds the Windows installer of one architecture with wixl (msitools) from
# packaging/windows/fsw.wxs, and prints its path:
#   package-msi.sh EXE x64|x86 VERSION OUTPUT.msi
#   package-msi.sh --product-version VERSION   (prints the installer's version only)
# Windows Installer compares only the first three fields of a ProductVersion (at most
# 255.255.65535), so the program's A.B.C.D becomes A.B.(C*1000+D): D up to 999 and C up
# to 65 (then D up to 535) keep every release above the one before.
# The starting settings and host list are written in the program's code page (Shift-JIS)
# with Windows line ends. What wixl cannot express is set in the database afterwards
# with msibuild: the settings kept by upgrades and removal, the conditions of the
# optional parts, the rollback action, the removal of an older version (or a rebuild of
# the same) before anything is installed, and the checks of the command line's values.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

product_version() {
    local a b c d
    if [[ $1 =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,5})\.([0-9]{1,3})$ ]]; then
        a=$((10#${BASH_REMATCH[1]})) b=$((10#${BASH_REMATCH[2]}))
        c=$((10#${BASH_REMATCH[3]})) d=$((10#${BASH_REMATCH[4]}))
        if [ $a -le 255 ] && [ $b -le 255 ] && [ $((c * 1000 + d)) -le 65535 ]; then
            echo "$a.$b.$((c * 1000 + d))"
            return
        fi
    fi
    echo "package-msi.sh: version A.B.C.D with A and B up to 255, D up to 999 and C*1000+D up to 65535, not '$1'" >&2
    exit 2
}
if [ "$1" = --product-version ]; then
    product_version "$2"
    exit 0
fi
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
productVersion=$(product_version "$version")

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
(cd "$work" && wixl -a "$arch" -D Arch="$arch" -D Version="$productVersion" -D Release="$version" -D Exe=fsw.exe \
    -D Ini=fsw.ini -D List=fsw.lst -D Icon=fsw.ico -o "$out" fsw.wxs 2>&1 |
    { grep -v -e 'GLib-GObject-WARNING' -e '^$' >&2 || true; })
[ -f "$out" ] || { echo "package-msi.sh: wixl made no $out" >&2; exit 1; }
# Permanent (16) and never overwritten (128): the settings and the host list stay.
msibuild "$out" -q "UPDATE Component SET Attributes = $((bits + 144)) WHERE Component = 'Settings' OR Component = 'HostList'"
msibuild "$out" -q "UPDATE Component SET Condition = 'AUTOSTART = \"1\"' WHERE Component = 'Autostart'"
msibuild "$out" -q "UPDATE Component SET Condition = 'SERVICE = \"1\"' WHERE Component = 'ServiceChoice'"
msibuild "$out" -q "UPDATE Property SET Value = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;SERVICE;AUTOSTART;INSTALLDIR' WHERE Property = 'SecureCustomProperties'"
# The service's removal on rollback: in the script (1024), run only on rollback (256).
msibuild "$out" -q "UPDATE CustomAction SET Type = 3410 WHERE Action = 'RollbackService'"
# The older version goes first, its service with it; then this one installs its own.
msibuild "$out" -q "UPDATE InstallExecuteSequence SET Sequence = 1510 WHERE Action = 'RemoveExistingProducts'"
# A rebuild of the same version replaces the first too (the upper bound is inclusive: 512).
# The attributes are part of the row's key: the row is made again.
upgradeCode=$(msiinfo export "$out" Property | tr -d '\r' | sed -n 's/^UpgradeCode\t//p')
msibuild "$out" -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'"
msibuild "$out" -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('$upgradeCode', '$productVersion', 513, 'WIX_UPGRADE_DETECTED')"

# The checks of the command line (the texts are English: wixl and msibuild lose others).
# A choice is 1 or 0 (or not given).
for choice in SERVICE AUTOSTART; do
    msibuild "$out" -q "INSERT INTO LaunchCondition (Condition, Description) VALUES ('NOT $choice OR $choice = \"0\" OR $choice = \"1\"', '$choice=[$choice] is refused: give 1 or 0.')"
done
# A maintenance run (the same package again) cannot add or take away the service or the
# start at logon: a choice that differs from the installed one is refused.
changed='Installed AND NOT REMOVE AND (((SERVICE = "1") XOR (REMEMBERED_SERVICE = "1")) OR ((AUTOSTART = "1") XOR (REMEMBERED_AUTOSTART = "1")))'
# The program's folder, as the installer resolved it: a full path with a drive letter (a
# colon can stand nowhere else), not a drive's root, not within Windows.
badFolder='NOT Installed AND (NOT (INSTALLDIR >< ":\") OR INSTALLDIR >> ":\" OR INSTALLDIR ~<< WindowsFolder)'
msibuild "$out" -q "INSERT INTO CustomAction (Action, Type, Target) VALUES ('RefuseChoiceChange', 19, 'fsw is installed with other SERVICE and AUTOSTART choices; this run cannot change them. Remove fsw (msiexec /x), then install it with the new ones: the data folder stays.')"
msibuild "$out" -q "INSERT INTO CustomAction (Action, Type, Target) VALUES ('RefuseInstallDir', 19, 'INSTALLDIR=[INSTALLDIR] is refused: give a full path with a drive letter, neither the root of a drive nor a folder of Windows.')"
# The UI sequence recalls and checks as the execute sequence does, so that a run with its
# progress window stops before it starts.
for sequence in InstallUISequence InstallExecuteSequence; do
    if [ $sequence = InstallUISequence ]; then
        for row in "RecallService|NOT SERVICE|51" "RecallAutostart|NOT AUTOSTART|52" \
            "RecallInstallDir|NOT INSTALLDIR AND REMEMBERED_INSTALLDIR|53"; do
            IFS='|' read -r action condition number <<<"$row"
            msibuild "$out" -q "INSERT INTO $sequence (Action, Condition, Sequence) VALUES ('$action', '$condition', $number)"
        done
    fi
    msibuild "$out" -q "INSERT INTO $sequence (Action, Condition, Sequence) VALUES ('RefuseChoiceChange', '$changed', 110)"
    msibuild "$out" -q "INSERT INTO $sequence (Action, Condition, Sequence) VALUES ('RefuseInstallDir', '$badFolder', 1005)"
done
echo "$out"

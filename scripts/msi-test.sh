#!/usr/bin/env bash
# Tests of the Windows installers, one step per call (ctest runs each as a test):
#   tables   builds the MSI of each Windows build with scripts/package-msi.sh and reads
#            its tables back with msiinfo: what it installs where, the service's custom
#            actions and their order, the upgrade, the optional parts, the starting settings
#   wine     installs the 64-bit MSI silently under Wine with and without the service,
#            asks the installed service over the port with the Linux build's client,
#            upgrades it from a lower version keeping an edited fsw.ini, and removes it
# Usage: msi-test.sh STEP VERSION
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
step=$1
version=$2
SKIP=77
out=build/msi-test
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
command -v wixl >/dev/null && command -v msiinfo >/dev/null || { echo "SKIP: no msitools"; exit $SKIP; }

# Each row: table, then a tab-separated row of it as an extended regular expression.
# x64 and x86 differ in the Program Files folder and the components' 64-bit attribute.
check_tables() {
    local msi=$1 programFiles=$2 bits=$3 systemFolder=$4 table row
    local rows=(
        "Directory|INSTALLDIR	$programFiles	fsw"
        "Directory|DATADIR	CommonAppDataFolder	fsw"
        "File|fsw\.exe	Program	fsw\.exe	"
        "File|fsw\.ini	Settings	fsw\.ini	"
        "File|fsw\.lst	HostList	fsw\.lst	0	"
        "Component|Program	\{[-0-9A-F]+\}	INSTALLDIR	$bits	"
        "Component|Settings	\{[-0-9A-F]+\}	DATADIR	$((bits + 144))	"
        "Component|HostList	\{[-0-9A-F]+\}	DATADIR	$((bits + 144))	"
        "Component|Autostart	.*	AUTOSTART = \"1\"	"
        "Component|ServiceChoice	.*	SERVICE = \"1\"	"
        "Shortcut|StartMenuShortcut	ProgramMenuFolder	fsw	StartMenu	\[INSTALLDIR\]fsw\.exe	--dir \"\[CommonAppDataFolder\]fsw\"	"
        "Registry|.*	2	Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run	fsw	\"\[INSTALLDIR\]fsw\.exe\" --dir \"\[CommonAppDataFolder\]fsw\"	Autostart"
        "CustomAction|InstallService	3090	fsw\.exe	--install-service --dir \"\[CommonAppDataFolder\]fsw\" --protect-dir --quiet \[FSWTESTOPTION\]	"
        "CustomAction|UninstallService	3154	fsw\.exe	--uninstall-service --quiet	"
        "CustomAction|RollbackService	3410	fsw\.exe	--uninstall-service --quiet	"
        "CustomAction|StartService	3186	NETCOMMAND	start fsw	"
        "CustomAction|FindNetCommand	[0-9]+	NETCOMMAND	\[$systemFolder\]net\.exe	"
        "Upgrade|\{[-0-9A-F]+\}		$version		1		WIX_UPGRADE_DETECTED"
        "Property|ProductVersion	$version"
        "Property|ProductName	fsw"
        "Property|Manufacturer	fsw maintainers"
        "Property|SecureCustomProperties	.*;SERVICE;AUTOSTART"
        "AppSearch|SERVICE	RememberedService"
        # The remembered choice read in the registry view it was written to (64-bit: 16).
        "RegLocator|RememberedService	2	Software\\\\fsw	Service	$((bits / 16 + 2))"
    )
    for row in "${rows[@]}"; do
        table=${row%%|*}
        msiinfo export "$msi" "$table" | tail -n +4 | tr -d '\r' | grep -qE "^${row#*|}" ||
            fail "$msi: no row of $table like: ${row#*|}"
    done
    # The order: the older version and its service go before anything is installed; this
    # version's service is installed from its files and started after everything else.
    local sequence
    sequence=$(msiinfo export "$msi" InstallExecuteSequence | tail -n +4 | tr -d '\r' |
        sort -t$'\t' -k3 -n | cut -f1 | tr '\n' ' ')
    grep -qE "InstallInitialize RemoveExistingProducts .*UninstallService RemoveFiles InstallFiles RollbackService InstallService .*StartService " \
        <<<"$sequence" || fail "$msi: order of the actions: $sequence"
    # The starting settings, in Shift-JIS with Windows line ends: only this machine may
    # ask, and the log is bounded.
    rm -rf "$out/extract" && mkdir -p "$out/extract"
    (cd "$out/extract" && msiextract "../$(basename "$msi")" >/dev/null)
    local ini
    ini=$(find "$out/extract" -name fsw.ini)
    grep -q $'^ALLOW=127.0.0.1\r$' "$ini" || fail "fsw.ini: ALLOW is not this machine alone"
    grep -q $'^LOGMAX=10\r$' "$ini" || fail "fsw.ini: the log is not bounded"
    iconv -f CP932 -t UTF-8 "$ini" >/dev/null || fail "fsw.ini is no Shift-JIS"
}

step_tables() {
    local built=0 pair exe
    mkdir -p "$out"
    for pair in win64:x64:ProgramFiles64Folder:256:System64Folder \
        win32:x86:ProgramFilesFolder:0:SystemFolder; do
        IFS=: read -r preset arch programFiles bits systemFolder <<<"$pair"
        exe=build/$preset/fsw.exe
        [ -f "$exe" ] || continue
        bash scripts/package-msi.sh "$exe" "$arch" "$version" "$out/fsw-$arch.msi" >/dev/null
        check_tables "$out/fsw-$arch.msi" "$programFiles" "$bits" "$systemFolder"
        built=$((built + 1))
    done
    [ $built -gt 0 ] || { echo "SKIP: no Windows build"; exit $SKIP; }
}

# Under a Wine prefix of its own, so that the service and the Run entry reach no other
# test. The 64-bit MSI: a lower version with the service and the start at logon, queried
# over the port; an edited fsw.ini, the upgrade, the query again; the removal; then the
# desktop installation alone.
step_wine() {
    local exe=build/win64/fsw.exe client=build/linux/fsw
    [ -f "$exe" ] && [ -x "$client" ] || { echo "SKIP: needs the 64-bit Windows and the Linux build"; exit $SKIP; }
    . scripts/wine-env.sh
    export WINEPREFIX=$PWD/$out/prefix DISPLAY=
    rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
    trap '"$FSW_WINESERVER" -k 2>/dev/null || true' EXIT
    # The prefix is made in a session of its own: making it leaves a second service
    # manager behind, and with two of them answering, a service installed through one is
    # unknown to the other ("net start" then fails with 1077). A persistent server then
    # keeps the service running between the msiexec calls.
    "$FSW_WINE" wineboot -i >/dev/null 2>&1 || fail "wineboot"
    "$FSW_WINESERVER" -w
    "$FSW_WINESERVER" -p </dev/null >/dev/null 2>&1
    bash scripts/package-msi.sh "$exe" x64 0.9.0.1 "$out/old.msi" >/dev/null
    bash scripts/package-msi.sh "$exe" x64 "$version" "$out/new.msi" >/dev/null
    local c=$WINEPREFIX/drive_c
    local program="$c/Program Files/fsw/fsw.exe" data="$c/ProgramData/fsw"
    # The Start menu of all users; Wine keeps it in the user's profile.
    start_menu_link() { find "$c" -path '*/Start Menu/Programs/fsw.lnk' | grep -q .; }
    local service='HKLM\System\CurrentControlSet\Services\fsw'
    local run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
    local source='HKLM\System\CurrentControlSet\Services\EventLog\Application\fsw'
    # Wine grants its user full control of every folder: the service's install is told
    # to trust that account, as no real installation is.
    msiexec() { "$FSW_WINE" msiexec "$@" FSWTESTOPTION=--unsafe-trust-installing-user \
        >/dev/null 2>&1 || fail "msiexec $*"; }
    # msiexec takes the packages by their Windows paths.
    local old="Z:$PWD/$out/old.msi" new
    old=${old//\//\\}
    new=${old%old.msi}new.msi
    reg_has() { "$FSW_WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | grep -q -e "$3"; }
    # A disk query for C:\ to the service on PORT with the Linux client, TRIES times (40).
    answers() { for _ in $(seq 1 "${2:-40}"); do "$client" check -H 127.0.0.1 -p "$1" \
        -w 0% -c 0% 'C:\' >/dev/null 2>&1 && return 0 || sleep 0.5; done; return 1; }
    # A free port for the edited fsw.ini, so that no other server is asked.
    local port
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

    msiexec /i "$old" /qn SERVICE=1 AUTOSTART=1
    for file in "$program" "$data/fsw.ini" "$data/fsw.lst"; do
        [ -f "$file" ] || fail "not installed: $file"
    done
    start_menu_link || fail "no Start-menu entry"
    reg_has "$service" ImagePath '--service --dir "C:\\ProgramData\\fsw"' ||
        fail "the service is not installed with the data folder"
    reg_has "$service" Start 0x2 || fail "the service does not start with the system"
    reg_has "$service" ObjectName 'NetworkService' || fail "the service's account"
    reg_has "$source" EventMessageFile 'fsw.exe' || fail "no event source"
    reg_has "$run" fsw 'fsw.exe" --dir "C:\\ProgramData\\fsw"' || fail "no Run entry"
    "$FSW_WINE" sc query fsw | grep RUNNING >/dev/null ||
        fail "the installation did not start the service"
    sed -i "s/^SVPORT=.*/SVPORT=$port\r/" "$data/fsw.ini"
    "$FSW_WINE" net stop fsw >/dev/null 2>&1 || fail "net stop fsw"
    "$FSW_WINE" net start fsw >/dev/null 2>&1 || fail "net start fsw"
    answers "$port" || fail "the installed service does not answer on port $port"

    msiexec /i "$new" /qn
    grep -q "^SVPORT=$port" "$data/fsw.ini" || fail "the upgrade replaced the edited fsw.ini"
    reg_has "$service" ImagePath '--service' || fail "the upgrade lost the service"
    reg_has "$run" fsw 'fsw.exe' || fail "the upgrade lost the Run entry"
    answers "$port" || fail "the upgraded service does not answer on port $port"
    [ "$("$FSW_WINE" msiexec /x "$old" /qn >/dev/null 2>&1; echo $?)" != 0 ] ||
        fail "the older version is still installed beside the newer"

    msiexec /x "$new" /qn
    [ ! -e "$program" ] || fail "the removal left the program"
    ! start_menu_link || fail "the removal left the Start-menu entry"
    ! reg_has "$service" ImagePath . || fail "the removal left the service"
    ! reg_has "$run" fsw . || fail "the removal left the Run entry"
    ! reg_has "$source" EventMessageFile . || fail "the removal left the event source"
    grep -q "^SVPORT=$port" "$data/fsw.ini" || fail "the removal took the data folder"
    ! answers "$port" 1 || fail "the removed service still answers"

    msiexec /i "$new" /qn
    [ -f "$program" ] && start_menu_link || fail "the desktop installation is incomplete"
    ! reg_has "$service" ImagePath . || fail "a service without SERVICE=1"
    ! reg_has "$run" fsw . || fail "a Run entry without AUTOSTART=1"
    msiexec /x "$new" /qn
}

case "$step" in
    tables) step_tables ;;
    wine) step_wine ;;
    *) fail "unknown step $step" ;;
esac

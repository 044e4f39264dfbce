#!/usr/bin/env bash
# Tests of the Windows installers, one step per call (ctest runs each as a test):
#   tables   builds the MSI of each Windows build with scripts/package-msi.sh and reads
#            its tables back with msiinfo: what it installs where, the service's custom
#            actions and their order, the upgrade, the optional parts, the starting settings,
#            and the installer's form of the version
#   wine     installs the 64-bit MSI silently under Wine with and without the service,
#            asks the installed service over the port with the Linux build's client,
#            upgrades it from a version lower in the last field only, keeping an edited
#            fsw.ini, the chosen folder and the choices not given again, and removes it;
#            refuses bad values and a change of the choices without an upgrade; a
#            rebuild of the same version replaces the first; a running tray copy is closed
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
    local msi=$1 programFiles=$2 bits=$3 systemFolder=$4 table row productVersion
    productVersion=$(bash scripts/package-msi.sh --product-version "$version")
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
        # The same version is upgraded too (512: the upper bound inclusive).
        "Upgrade|\{[-0-9A-F]+\}		$productVersion		513		WIX_UPGRADE_DETECTED"
        "Property|ProductVersion	$productVersion"
        "Property|ProductName	fsw"
        "Property|Manufacturer	fsw maintainers"
        "Property|SecureCustomProperties	.*;SERVICE;AUTOSTART;INSTALLDIR"
        "AppSearch|REMEMBERED_SERVICE	RememberedService"
        "Registry|.*	2	Software\\\\fsw	InstallDir	\[INSTALLDIR\]	InstallFolder"
        # The remembered choice read in the registry view it was written to (64-bit: 16).
        "RegLocator|RememberedService	2	Software\\\\fsw	Service	$((bits / 16 + 2))"
    )
    for row in "${rows[@]}"; do
        table=${row%%|*}
        msiinfo export "$msi" "$table" | tail -n +4 | tr -d '\r' | grep -qE "^${row#*|}" ||
            fail "$msi: no row of $table like: ${row#*|}"
    done
    # The order: the choices recalled before they are checked, the folder checked once
    # resolved; the tray copies closed, then the older version and its service go before
    # anything is installed; this version's service is installed from its files and
    # started after everything else.
    local sequence
    sequence=$(msiinfo export "$msi" InstallExecuteSequence | tail -n +4 | tr -d '\r' |
        sort -t$'\t' -k3 -n | cut -f1 | tr '\n' ' ')
    grep -qE "AppSearch (Recall[A-Za-z]+ ){3}LaunchConditions RefuseChoiceChange .*CostFinalize RefuseInstallDir .*InstallInitialize CloseTray RemoveExistingProducts .*UninstallService RemoveFiles InstallFiles RollbackService InstallService .*StartService " \
        <<<"$sequence" || fail "$msi: order of the actions: $sequence"
    # The starting settings, in Shift-JIS with Windows line ends: only this machine may
    # ask, over either family (Windows gives localhost as ::1 first), and the log is
    # bounded.
    rm -rf "$out/extract" && mkdir -p "$out/extract"
    (cd "$out/extract" && msiextract "../$(basename "$msi")" >/dev/null)
    local ini
    ini=$(find "$out/extract" -name fsw.ini)
    grep -q $'^ALLOW=127.0.0.1,::1\r$' "$ini" || fail "fsw.ini: ALLOW is not this machine alone"
    grep -q $'^LOGMAX=10\r$' "$ini" || fail "fsw.ini: the log is not bounded"
    iconv -f CP932 -t UTF-8 "$ini" >/dev/null || fail "fsw.ini is no Shift-JIS"
}

# The installer's version keeps the order of the program's versions, the last field's
# steps too; what it cannot carry is refused.
check_product_versions() {
    local pair bad versions
    for pair in 1.0.0.1:1.0.0.2 1.0.0.999:1.0.1.0 1.0.9.9:1.0.10.0 1.0.65.535:1.1.0.0; do
        versions=$(for v in ${pair/:/ }; do bash scripts/package-msi.sh --product-version $v; done)
        [ "$(sort -uV <<<"$versions")" = "$versions" ] && [ "$(wc -l <<<"$versions")" = 2 ] ||
            fail "installer versions of $pair: $versions"
    done
    for bad in 1.0.0.1000 1.0.66.0 256.0.0.0 1.0.0; do
        ! bash scripts/package-msi.sh --product-version "$bad" 2>/dev/null || fail "version $bad taken"
    done
}

step_tables() {
    local built=0 pair exe
    mkdir -p "$out"
    check_product_versions
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
# test. The 64-bit MSI: bad values refused; a version with the service, the start at
# logon and a folder of its own, queried over the port; an edited fsw.ini, a running tray
# copy, the upgrade to the next last field, the query again; a maintenance run's change
# refused; the removal with a tray copy running; then the desktop installation, replaced by a rebuild of its
# version with the start at logon taken away.
step_wine() {
    local exe=build/win64/fsw.exe client=build/linux/fsw
    [ -f "$exe" ] && [ -x "$client" ] || { echo "SKIP: needs the 64-bit Windows and the Linux build"; exit $SKIP; }
    command -v Xvfb >/dev/null || { echo "SKIP: no Xvfb"; exit $SKIP; }
    . scripts/wine-env.sh
    export WINEPREFIX=$PWD/$out/prefix
    rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
    # A display of its own: the tray copy that the installer is to close needs its tray
    # icon before it reads its messages, and Wine has no tray without a display.
    local fifo=$out/xvfb.fifo number
    rm -f "$fifo" && mkfifo "$fifo"
    setsid Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp </dev/null >/dev/null 2>&1 3>"$fifo" &
    trap "\"\$FSW_WINESERVER\" -k 2>/dev/null || true; kill $! 2>/dev/null || true" EXIT
    number=$(timeout 20 head -n 1 "$fifo" || true)
    rm -f "$fifo"
    [ -n "$number" ] || fail "Xvfb did not start"
    export DISPLAY=:$number
    # The prefix is made in a session of its own: making it leaves a second service
    # manager behind, and with two of them answering, a service installed through one is
    # unknown to the other ("net start" then fails with 1077). A persistent server then
    # keeps the service running between the msiexec calls.
    "$FSW_WINE" wineboot -i >/dev/null 2>&1 || fail "wineboot"
    "$FSW_WINESERVER" -w
    "$FSW_WINESERVER" -p </dev/null >/dev/null 2>&1
    # Two versions that differ in the last field only, and a rebuild of the second.
    bash scripts/package-msi.sh "$exe" x64 1.0.0.1 "$out/old.msi" >/dev/null
    bash scripts/package-msi.sh "$exe" x64 1.0.0.2 "$out/new.msi" >/dev/null
    bash scripts/package-msi.sh "$exe" x64 1.0.0.2 "$out/rebuilt.msi" >/dev/null
    local c=$WINEPREFIX/drive_c
    local program="$c/Tools/fsw/fsw.exe" default="$c/Program Files/fsw/fsw.exe" data="$c/ProgramData/fsw"
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
    local old="Z:$PWD/$out/old.msi" new rebuilt
    old=${old//\//\\}
    new=${old%old.msi}new.msi
    rebuilt=${old%old.msi}rebuilt.msi
    reg_has() { "$FSW_WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | grep -q -e "$3"; }
    # Whether the product of a package is installed: its entry of Add/Remove Programs (the
    # exit code of msiexec /x says nothing under Wine, which runs the removal regardless).
    installed() {
        local code
        code=$(msiinfo export "$out/$1.msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
        "$FSW_WINE" reg query "HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\\$code" >/dev/null 2>&1
    }
    # A disk query for C:\ to the service on PORT at HOST with the Linux client, TRIES
    # times (40).
    answers() { for _ in $(seq 1 "${2:-40}"); do "$client" check -H "${3:-127.0.0.1}" -p "$1" \
        -w 0% -c 0% 'C:\' >/dev/null 2>&1 && return 0 || sleep 0.5; done; return 1; }
    # A free port for the edited fsw.ini, so that no other server is asked.
    local port
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    # A tray copy on a folder of its own with neither role, started from the installed
    # program; gone() says whether it has ended within about 10 s.
    local tray=
    mkdir -p "$c/tray" && printf '[fsw]\r\nSERVER=0\r\nCLIENT=0\r\n' >"$c/tray/fsw.ini"
    start_tray() {
        rm -f "$c/tray/fsw.log"
        "$FSW_WINE" "$1" --dir 'C:\tray' >/dev/null 2>&1 &
        tray=$!
        for _ in $(seq 1 40); do grep -q . "$c/tray/fsw.log" 2>/dev/null && return 0; sleep 0.25; done
        fail "the tray copy did not start"
    }
    gone() { for _ in $(seq 1 40); do kill -0 "$tray" 2>/dev/null || return 0; sleep 0.25; done; return 1; }

    # Each refused before anything is installed, by the check meant for it: the last of
    # the checks (or InstallFiles) the log names. Wine's log leaves out the message itself.
    local log="$out/msiexec.log" winLog row
    winLog="Z:${PWD//\//\\}\\${out//\//\\}\\msiexec.log"
    stopped_by() {
        grep -a -o -E 'LaunchConditions|RefuseChoiceChange|RefuseInstallDir|InstallFiles' "$log" |
            tail -1 | grep -qx "$1"
    }
    for row in 'SERVICE= 1' AUTOSTART=yes 'INSTALLDIR=C:\:RefuseInstallDir' \
        'INSTALLDIR=C:\windows\system32:RefuseInstallDir' INSTALLDIR=fsw:RefuseInstallDir; do
        local value=${row%:Refuse*} check=LaunchConditions
        [ "$value" = "$row" ] || check=${row##*:}
        ! "$FSW_WINE" msiexec /i "$old" /qn "$value" /l "$winLog" >/dev/null 2>&1 || fail "$value was taken"
        stopped_by "$check" || fail "$value was not refused by $check"
        [ ! -e "$default" ] && [ ! -e "$c/fsw.exe" ] || fail "$value installed the program"
    done

    msiexec /i "$old" /qn SERVICE=1 AUTOSTART=1 'INSTALLDIR=C:\Tools\fsw'
    for file in "$program" "$data/fsw.ini" "$data/fsw.lst"; do
        [ -f "$file" ] || fail "not installed: $file"
    done
    start_menu_link || fail "no Start-menu entry"
    reg_has "$service" ImagePath 'Tools\\fsw\\fsw.exe" --service --dir "C:\\ProgramData\\fsw"' ||
        fail "the service is not installed from the folder chosen with the data folder"
    reg_has "$service" Start 0x2 || fail "the service does not start with the system"
    reg_has "$service" ObjectName 'NetworkService' || fail "the service's account"
    reg_has "$source" EventMessageFile 'fsw.exe' || fail "no event source"
    reg_has "$run" fsw 'Tools\\fsw\\fsw.exe" --dir "C:\\ProgramData\\fsw"' || fail "no Run entry"
    "$FSW_WINE" sc query fsw | grep RUNNING >/dev/null ||
        fail "the installation did not start the service"
    sed -i "s/^SVPORT=.*/SVPORT=$port\r/" "$data/fsw.ini"
    "$FSW_WINE" net stop fsw >/dev/null 2>&1 || fail "net stop fsw"
    "$FSW_WINE" net start fsw >/dev/null 2>&1 || fail "net start fsw"
    answers "$port" || fail "the installed service does not answer on port $port"

    start_tray "$program"
    msiexec /i "$new" /qn
    gone || fail "the upgrade left the tray copy running"
    grep -q "^SVPORT=$port" "$data/fsw.ini" || fail "the upgrade replaced the edited fsw.ini"
    [ -f "$program" ] && [ ! -e "$default" ] || fail "the upgrade did not keep the folder chosen"
    reg_has "$service" ImagePath 'Tools\\fsw\\fsw.exe" --service' || fail "the upgrade lost the service"
    reg_has "$run" fsw 'Tools\\fsw\\fsw.exe' || fail "the upgrade lost the Run entry"
    answers "$port" || fail "the upgraded service does not answer on port $port"
    # The shipped ALLOW lets this machine ask over IPv6 too.
    answers "$port" 1 ::1 || fail "the upgraded service does not answer ::1"
    installed new && ! installed old || fail "the older version is still installed beside the newer"
    # Going back a last field is a downgrade, not the same version again.
    ! "$FSW_WINE" msiexec /i "$old" /qn /l "$winLog" >/dev/null 2>&1 && stopped_by LaunchConditions ||
        fail "the older version replaced the newer"
    installed new || fail "the refused downgrade removed the newer version"
    # The same package again cannot take the service away: it says so.
    ! "$FSW_WINE" msiexec /i "$new" /qn SERVICE=0 /l "$winLog" >/dev/null 2>&1 ||
        fail "a maintenance run took SERVICE=0 without a word"
    stopped_by RefuseChoiceChange || fail "the maintenance run was not refused by its check"
    reg_has "$service" ImagePath '--service' || fail "the refused maintenance run changed the service"

    start_tray "$program"
    msiexec /x "$new" /qn
    gone || fail "the removal left the tray copy running"
    [ ! -e "$program" ] || fail "the removal left the program"
    ! start_menu_link || fail "the removal left the Start-menu entry"
    ! reg_has "$service" ImagePath . || fail "the removal left the service"
    ! reg_has "$run" fsw . || fail "the removal left the Run entry"
    ! reg_has "$source" EventMessageFile . || fail "the removal left the event source"
    grep -q "^SVPORT=$port" "$data/fsw.ini" || fail "the removal took the data folder"
    ! answers "$port" 1 || fail "the removed service still answers"

    # Nothing is remembered after the removal: the default folder, no service.
    msiexec /i "$new" /qn AUTOSTART=1
    [ -f "$default" ] && start_menu_link || fail "the desktop installation is incomplete"
    ! reg_has "$service" ImagePath . || fail "a service without SERVICE=1"
    reg_has "$run" fsw . || fail "no Run entry with AUTOSTART=1"
    # The rebuild replaces it, and the command line wins over the remembered choice.
    start_tray "$default"
    msiexec /i "$rebuilt" /qn AUTOSTART=0
    gone || fail "the rebuild left the tray copy running"
    installed rebuilt && ! installed new || fail "the rebuild of the same version is installed beside the first"
    [ -f "$default" ] || fail "the rebuild did not install the program"
    ! reg_has "$run" fsw . || fail "AUTOSTART=0 kept the remembered Run entry"
    msiexec /x "$rebuilt" /qn
    [ ! -e "$default" ] || fail "the removal of the rebuild left the program"
}

case "$step" in
    tables) step_tables ;;
    wine) step_wine ;;
    *) fail "unknown step $step" ;;
esac

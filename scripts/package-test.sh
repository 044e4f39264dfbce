#!/usr/bin/env bash
# Tests of the Debian package, one step per call; ctest runs each step as a test of its
# own and never two at once:
#   build     make the package as "make package" does
#   contents  the files, their owners, the control fields and the configuration files
#   lintian   no errors (warnings and notes are printed)
#   install   dpkg -i on this machine: the user, the folders, the program as that user,
#             the unit verified (never started), a changed configuration file kept by a
#             reinstall, then remove and purge leave nothing behind
# "install" changes the machine: it needs root, runs only where no fsw package, user or
# folder exists yet, and puts the machine back as it found it, also on failure.
# Usage: package-test.sh STEP VERSION [BUILD_DIR]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

step=$1
version=$2
build=${3:-build/linux}
deb=build/fsw_${version}_$(dpkg --print-architecture).deb
SKIP=77

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
expect_eq() {
    [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"
}
skip() {
    echo "SKIP: $*"
    exit $SKIP
}

# The version line of the program: the first three numbers, then the fourth in brackets.
version_line() {
    local a b c d
    IFS=. read -r a b c d <<<"$version"
    echo "ケルム Version $a.$b.$c (${d:-0})"
}

# dpkg waits for no one: while apt or another dpkg holds its lock, try again, for at
# most two minutes.
run_dpkg() {
    local tries=0 out
    while :; do
        if out=$(dpkg "$@" </dev/null 2>&1); then
            return 0
        fi
        if grep -qi 'lock' <<<"$out" && [ $tries -lt 120 ]; then
            tries=$((tries + 1))
            sleep 1
            continue
        fi
        echo "$out" >&2
        return 1
    done
}

step_build() {
    rm -f "$deb"
    bash scripts/package.sh "$build" >/dev/null
    [ -f "$deb" ] || fail "make package left no $deb"
}

step_contents() {
    local listing path
    listing=$(dpkg-deb --contents "$deb" | awk '{ print $2 " " $6 }')
    for path in ./usr/bin/fsw ./lib/systemd/system/fsw.service ./etc/fsw/fsw.ini \
        ./etc/fsw/fsw.lst ./var/log/fsw/ ./var/lib/fsw/ ./usr/share/man/man8/fsw.8.gz \
        ./usr/share/doc/fsw/copyright ./usr/share/doc/fsw/changelog.gz \
        ./usr/share/doc/fsw/examples/node-exporter.conf ./usr/share/doc/fsw/README.md \
        ./usr/share/doc/fsw/examples/fsw.lst; do
        grep -qxF "root/root $path" <<<"$listing" || fail "not in the package as root's: $path"
    done
    expect_eq "$(dpkg-deb -f "$deb" Package)" fsw "Package"
    expect_eq "$(dpkg-deb -f "$deb" Version)" "$version" "Version"
    grep -qw adduser <<<"$(dpkg-deb -f "$deb" Depends)" || fail "Depends lacks adduser"
    expect_eq "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)" \
        "$(printf '/etc/fsw/fsw.ini\n/etc/fsw/fsw.lst')" "conffiles"
    expect_eq "$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./etc/fsw/fsw.lst | wc -c)" 0 \
        "size of the host list"
    local ini
    ini=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./etc/fsw/fsw.ini)
    grep -qx 'LOGFILE=/var/log/fsw/fsw.log' <<<"$ini" || fail "fsw.ini: LOGFILE"
    grep -qx 'CHKFILE=/var/lib/fsw/lastchk.txt' <<<"$ini" || fail "fsw.ini: CHKFILE"
    grep -qx 'ALLOW=127.0.0.1,::1' <<<"$ini" || fail "fsw.ini: ALLOW"
    grep -qx 'LOGMAX=10' <<<"$ini" || fail "fsw.ini: LOGMAX"
    # The README and the example host list that fsw.ini names are in the package.
    for path in $(grep -o '/usr/share/doc/fsw/[^ ]*[a-z]' <<<"$ini"); do
        grep -qxF "root/root .$path" <<<"$listing" || fail "fsw.ini names $path, not in the package"
    done
}

step_lintian() {
    local out code=0
    out=$(lintian --fail-on error --display-info --tag-display-limit 0 "$deb" 2>&1) || code=$?
    grep -v 'running with root privileges' <<<"$out" || true
    [ $code -eq 0 ] || fail "lintian reports errors (exit code $code)"
}

# ---- install ----

installed() {
    dpkg-query -W -f='${db:Status-Status}' fsw 2>/dev/null | grep -qvx 'not-installed'
}

MACHINE_PATHS=(/etc/fsw /var/log/fsw /var/lib/fsw /usr/bin/fsw /lib/systemd/system/fsw.service
    /usr/share/man/man8/fsw.8.gz /usr/share/doc/fsw /etc/systemd/system/multi-user.target.wants/fsw.service)
work=""
program=""

restore() {
    set +e
    if [ -n "$program" ]; then
        kill -KILL "$program" 2>/dev/null
        wait "$program" 2>/dev/null
    fi
    if installed; then
        run_dpkg --purge fsw
    fi
    getent passwd fsw >/dev/null && userdel fsw
    getent group fsw >/dev/null && groupdel fsw
    rm -rf "${MACHINE_PATHS[@]}"
    [ -n "$work" ] && rm -rf "$work"
}

# A port on which nothing listened a moment ago (a connection to it was refused), below
# the range the system hands out to outgoing connections, so no such connection holds it.
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 12000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return
        fi
    done
}

# The installed program as the user fsw, the way the unit runs it, on a test folder with
# a free port and the package's ALLOW: it writes its log into /var/log/fsw; once its server
# listens, SIGUSR1 makes it check its own server, and "fsw check -H localhost" is answered
# where localhost names ::1 before 127.0.0.1, as Debian's /etc/hosts does; SIGTERM ends it
# with its own log line and exit code 0.
run_as_service_user() {
    work=$(mktemp -d)
    chmod 755 "$work"
    local port
    port=$(free_port)
    printf '[fsw]\nSERVER=1\nSVPORT=%s\nCLIENT=0\nLOGFILE=/var/log/fsw/test.log\nLOGMODE=2\n%s\n' \
        "$port" "$(grep '^ALLOW=' /etc/fsw/fsw.ini)" >"$work/fsw.ini"
    printf '0\t127.0.0.1\t%s\t/\t1\t0\troot\n' "$port" >"$work/fsw.lst"
    install -d -o fsw -g fsw -m 700 "$work/run"
    XDG_RUNTIME_DIR="$work/run" setpriv --reuid=fsw --regid=fsw --init-groups \
        /usr/bin/fsw --dir "$work" >"$work/out" 2>"$work/err" &
    program=$!
    wait_for "the server listening" "(exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null"
    kill -USR1 "$program"
    wait_for "a status list printed" '[ "$(wc -l <"$work/out")" -ge 2 ]'
    printf '::1\tlocalhost ip6-localhost\n127.0.0.1\tlocalhost\n' >"$work/hosts"
    local answer
    answer=$(unshare -m sh -c 'mount --bind "$1" /etc/hosts && exec /usr/bin/fsw check -H localhost \
        -p "$2" -w 0% -c 0% /' sh "$work/hosts" "$port" 2>&1) || fail "fsw check -H localhost: $answer"
    kill -TERM "$program"
    local code=0
    wait "$program" || code=$?
    program=""
    expect_eq "$code" 0 "exit code after SIGTERM"
    expect_eq "$(sed -n 2p "$work/out" | cut -f1)" "正常" \
        "status of the target / ($(cat /var/log/fsw/test.log))"
    expect_eq "$(stat -c '%U' /var/log/fsw/test.log)" fsw "owner of the log"
    grep -q "	終了要求(SIGTERM)を受けました" /var/log/fsw/test.log || fail "no SIGTERM line in the log"
}

# Polls a condition every 0.1 s for at most 20 s.
wait_for() {
    local waited=0
    until eval "$2"; do
        [ $waited -lt 200 ] ||
            fail "$1: not within 20 s: $(cat "$work/err" /var/log/fsw/test.log 2>&1)"
        sleep 0.1
        waited=$((waited + 1))
    done
}

step_install() {
    [ "$(id -u)" -eq 0 ] || skip "installing the package needs root"
    exec 9>/run/lock/fsw-package-install.lock
    flock -w 900 9 || fail "another package installation test held the lock for 15 minutes"
    installed && skip "the package fsw is installed on this machine already; left alone"
    getent passwd fsw >/dev/null && skip "a user fsw exists on this machine already"
    getent group fsw >/dev/null && skip "a group fsw exists on this machine already"
    local path
    for path in "${MACHINE_PATHS[@]}"; do
        [ ! -e "$path" ] || skip "$path exists on this machine already"
    done
    trap restore EXIT

    run_dpkg -i "$deb" || fail "dpkg -i"
    local name uid home shell
    IFS=: read -r name _ uid _ _ home shell <<<"$(getent passwd fsw)"
    expect_eq "$name" fsw "the user"
    [ "$uid" -lt 1000 ] || fail "fsw is not a system user (uid $uid)"
    expect_eq "$home" /var/lib/fsw "home of fsw"
    expect_eq "$shell" /usr/sbin/nologin "shell of fsw"
    getent group fsw >/dev/null || fail "no group fsw"
    expect_eq "$(stat -c '%U:%G %a' /etc/fsw)" "root:fsw 750" "/etc/fsw"
    expect_eq "$(stat -c '%U:%G %a' /var/log/fsw)" "fsw:adm 2750" "/var/log/fsw"
    expect_eq "$(stat -c '%U:%G %a' /var/lib/fsw)" "fsw:fsw 750" "/var/lib/fsw"
    expect_eq "$(/usr/bin/fsw --version)" "$(version_line)" "fsw --version"
    # Without --dir the one-shot runs read the package's /etc/fsw, and name the empty list.
    expect_eq "$(/usr/bin/fsw check --list)" "FSW UNKNOWN - no targets in the host list /etc/fsw/fsw.lst" \
        "fsw check --list"
    local once
    once=$(/usr/bin/fsw --once 2>&1 >/dev/null) || true
    grep -qF '(File=/etc/fsw/fsw.lst)' <<<"$once" || fail "fsw --once: $once"

    local verify
    verify=$(systemd-analyze verify /lib/systemd/system/fsw.service 2>&1) ||
        fail "systemd-analyze verify: $verify"
    expect_eq "$verify" "" "systemd-analyze verify"
    echo "exposure: $(systemd-analyze security --offline=yes fsw.service 2>/dev/null | tail -1)"
    systemctl enable fsw.service >/dev/null 2>&1 || fail "systemctl enable"
    [ -L /etc/systemd/system/multi-user.target.wants/fsw.service ] || fail "not enabled"

    run_as_service_user

    echo '; changed here' >>/etc/fsw/fsw.ini
    run_dpkg -i "$deb" || fail "dpkg -i again"
    grep -qx '; changed here' /etc/fsw/fsw.ini || fail "a reinstall replaced the changed fsw.ini"

    run_dpkg -r fsw || fail "dpkg -r"
    [ ! -e /usr/bin/fsw ] || fail "/usr/bin/fsw left after removal"
    [ -f /etc/fsw/fsw.ini ] || fail "removal (without purge) took fsw.ini"
    run_dpkg --purge fsw || fail "dpkg --purge"
    for path in "${MACHINE_PATHS[@]}"; do
        [ ! -e "$path" ] && [ ! -L "$path" ] || fail "left after purge: $path"
    done
    getent passwd fsw >/dev/null && fail "user fsw left after purge"
    getent group fsw >/dev/null && fail "group fsw left after purge"
    installed && fail "dpkg still lists fsw after purge"
    echo "installed, run, reinstalled, removed and purged"
}

"step_$step"

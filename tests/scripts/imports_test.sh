#!/usr/bin/env bash
# The DLLs fsw.exe imports (win64 and win32 builds) are all known DLLs, which the loader
# takes from the system folder only: any other would be looked for beside the program
# first, before the program can limit the search, so a file planted there would run.
# The common controls are the exception: the manifest names them, and side-by-side
# assembly binding, not the search, finds them.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
SKIP=77
# The known DLLs of HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs that
# Windows 7 and Windows 10 both list, and ntdll.dll, which is always loaded first.
known=" advapi32.dll clbcatq.dll comdlg32.dll difxapi.dll gdi32.dll imagehlp.dll imm32.dll
 kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ntdll.dll ole32.dll oleaut32.dll
 psapi.dll rpcrt4.dll sechost.dll setupapi.dll shell32.dll shlwapi.dll user32.dll
 wldap32.dll ws2_32.dll "
known=" $(echo $known) "  # one space between names, and around them
checked=0
for pair in win64:x86_64 win32:i686; do
    exe=build/${pair%%:*}/fsw.exe
    objdump=${pair#*:}-w64-mingw32-objdump
    if [ ! -f "$exe" ] || ! command -v "$objdump" >/dev/null; then
        echo "not built: $exe"
        continue
    fi
    dlls=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
    if [ -z "$dlls" ]; then
        echo "FAIL: $exe: no import table read"
        exit 1
    fi
    for dll in $dlls; do
        if [ "$dll" = comctl32.dll ] && grep -q 'Microsoft.Windows.Common-Controls' "$exe"; then
            continue
        fi
        if [[ "$known" != *" $dll "* ]]; then
            echo "FAIL: $exe imports $dll, which is no known DLL"
            exit 1
        fi
    done
    echo "$exe imports only known DLLs:" $dlls
    checked=$((checked + 1))
done
[ "$checked" -gt 0 ] || { echo "SKIP: no Windows build"; exit $SKIP; }
echo "PASS"

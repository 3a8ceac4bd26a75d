#!/bin/sh
# Fails unless PROGRAM's import table is exactly the list below. Every entry
# on it was checked to exist on Windows 95 (with msvcrt.dll) and NT 4, or for
# the 64-bit program on every x64 Windows; an import a system lacks stops the
# program before main. Entries some systems lack are looked up at run time and
# must never be imported. A new import fails here until someone has checked it
# and added it with its reason.
# Usage: imports.sh OBJDUMP PROGRAM
set -u
case $("$1" -f "$2" | sed -n 's/.*file format //p') in
pei-i386) arch=32 ;;
pei-x86-64) arch=64 ;;
*) echo "not a Windows program: $2"; exit 1 ;;
esac

# DLL ENTRY WIDTHS REASON (widths: 32, 64 or both)
allowed='
KERNEL32.dll CreateMutexA both 95, NT 3.1: the guard of the temporary title
KERNEL32.dll GetConsoleOutputCP both 95, NT 3.1: the page echoed values are shown in
KERNEL32.dll GetConsoleTitleA both 95, NT 3.1
KERNEL32.dll GetCurrentDirectoryA both 95, NT 3.1
KERNEL32.dll GetTickCount both 95, NT 3.1: the bound of the wait for windows
KERNEL32.dll GetDiskFreeSpaceA both 95, NT 3.1: the query where the 64-bit one is missing
KERNEL32.dll GetModuleHandleA both 95, NT 3.1
KERNEL32.dll GetProcAddress both 95, NT 3.1
KERNEL32.dll GetVersionExA both 95, NT 3.5
KERNEL32.dll MultiByteToWideChar both 95, NT 3.1
KERNEL32.dll ReleaseMutex both 95, NT 3.1
KERNEL32.dll SetConsoleCtrlHandler both 95, NT 3.1
KERNEL32.dll SetConsoleTitleA both 95, NT 3.1
KERNEL32.dll SetErrorMode both 95, NT 3.1: no "insert a disk" box for a drive without media
KERNEL32.dll Sleep both 95, NT 3.1
KERNEL32.dll WaitForSingleObject both 95, NT 3.1
KERNEL32.dll WideCharToMultiByte both 95, NT 3.1
USER32.dll DeleteMenu both 95, NT 3.1
USER32.dll EnumWindows both 95, NT 3.1: the windows the font change goes to
USER32.dll FindWindowA both 95, NT 3.1
USER32.dll GetClassNameA both 95, NT 3.1: tells the stand-in of a pseudo console
USER32.dll GetDesktopWindow both 95, NT 3.1: the parent of every top-level window
USER32.dll GetForegroundWindow both 95, NT 3.1
USER32.dll GetSystemMenu both 95, NT 3.1
USER32.dll GetWindowThreadProcessId both 95, NT 3.1: one probe for each window thread
USER32.dll SendMessageTimeoutA both 95, NT 3.1: the probe, bounded, at once for a hung thread
USER32.dll SendNotifyMessageA both 95, NT 3.1: the font change, sent without waiting
USER32.dll SetWindowPos both 95, NT 3.1
msvcrt.dll __getmainargs both the start-up; in every msvcrt.dll (NT 4, 95 OSR 2.5, IE 4)
msvcrt.dll __set_app_type both the start-up; in every msvcrt.dll
msvcrt.dll exit both in every msvcrt.dll
msvcrt.dll printf both in every msvcrt.dll
msvcrt.dll putchar both in every msvcrt.dll: the compiler prints a lone character with it
msvcrt.dll puts both in every msvcrt.dll: the compiler prints constant lines with it
msvcrt.dll strcmp both in every msvcrt.dll
msvcrt.dll strcpy both in every msvcrt.dll
msvcrt.dll toupper both in every msvcrt.dll
msvcrt.dll _stat 32 in every msvcrt.dll
msvcrt.dll _stat64 64 in every x64 msvcrt.dll (the 64-bit program'"'"'s _stat)
'
# Present on some of those systems only: looked up, never imported.
runtime='GetConsoleTitleW SetConsoleTitleW GetDiskFreeSpaceExA __wgetmainargs _wstat _wstat64
GetConsoleWindow GetAncestor IsHungAppWindow'

want=$(echo "$allowed" | awk -v arch=$arch 'NF >= 3 && ($3 == "both" || $3 == arch) {print $1, $2}' |
	LC_ALL=C sort)
# objdump -p: "DLL Name: X" heads each DLL, then "  hint-rva  hint  Name" lines.
got=$("$1" -p "$2" | awk '/^[[:space:]]*DLL Name: / {dll = $3; next}
	dll != "" && /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[^[:space:]]+$/ {print dll, $3}
	/^$/ {dll = ""}' | LC_ALL=C sort)

fails=0
for entry in $runtime; do
	if echo "$got" | grep -q " $entry\$"; then
		echo "imported, but some systems lack it: $entry (look it up at run time)"
		fails=1
	fi
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '%s\n' "$want" >"$tmp/want"
printf '%s\n' "$got" >"$tmp/got"
extra=$(LC_ALL=C comm -23 "$tmp/got" "$tmp/want")
missing=$(LC_ALL=C comm -13 "$tmp/got" "$tmp/want")
[ -z "$extra" ] || { printf 'not on the list (check 95 and NT 4, then add it):\n%s\n' "$extra"; fails=1; }
[ -z "$missing" ] || { printf 'on the list but not imported (take it off):\n%s\n' "$missing"; fails=1; }
[ -n "$got" ] || { echo "the import table could not be read"; fails=1; }
[ $fails -eq 0 ] && echo "imports: the $(echo "$want" | wc -l) entries of the list"
exit $fails

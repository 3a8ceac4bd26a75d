#!/bin/sh
# Fails unless PROGRAM imports from KERNEL32.dll, USER32.dll and msvcrt.dll
# only, and none of the entries it looks up at run time: a system without
# them must still load it.
# Usage: imports.sh OBJDUMP PROGRAM
set -u
table=$("$1" -p "$2")
dlls=$(echo "$table" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
echo "imports: $dlls"
[ "$dlls" = "KERNEL32.DLL MSVCRT.DLL USER32.DLL " ] || exit 1
for entry in GetConsoleTitleW SetConsoleTitleW GetDiskFreeSpaceExA; do
	if echo "$table" | grep -Eq "^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+$entry\$"; then
		echo "imported directly: $entry"
		exit 1
	fi
done
echo "$table" | grep -Eq "^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+GetConsoleTitleA\$" ||
	{ echo "the import table could not be read"; exit 1; }

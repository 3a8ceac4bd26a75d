#!/bin/sh
# Fails unless PROGRAM imports from KERNEL32.dll, USER32.dll and msvcrt.dll only.
# Usage: imports.sh OBJDUMP PROGRAM
set -u
dlls=$("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
echo "imports: $dlls"
[ "$dlls" = "KERNEL32.DLL MSVCRT.DLL USER32.DLL " ]

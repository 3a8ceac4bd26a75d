#!/bin/sh
# Fails unless PROGRAM's header asks for the system version its width is
# released for: 4.0 (32-bit), which Windows 95 and NT 4 load, and no more,
# or 5.2 (64-bit), XP x64's and Server 2003's. Wine and ReactOS load either,
# so only this check sees a toolchain whose default moved on.
# Usage: header.sh OBJDUMP PROGRAM
set -u
case $("$1" -f "$2" | sed -n 's/.*file format //p') in
pei-i386) want='system 4.0, subsystem 4.0' ;;
pei-x86-64) want='system 5.2, subsystem 5.2' ;;
*) echo "not a Windows program: $2"; exit 1 ;;
esac
# objdump -p: "MajorOSystemVersion\t4" and the like.
got=$("$1" -p "$2" | awk '$1 ~ /^(Major|Minor)(OSystem|Subsystem)Version$/ {v[$1] = $2}
	END {printf "system %s.%s, subsystem %s.%s\n", v["MajorOSystemVersion"],
	     v["MinorOSystemVersion"], v["MajorSubsystemVersion"], v["MinorSubsystemVersion"]}')
if [ "$got" != "$want" ]; then
	echo "the header asks for $got, not $want: $2"
	exit 1
fi
echo "header: $want"

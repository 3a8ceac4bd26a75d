#!/bin/sh
# Runs the native program as a user would, checking its output byte for byte.
# Usage: native_cli.sh PROGRAM USAGE_FILE (/i's lines: native_report.txt beside it)
set -u
rerun="sh $0 $*"
prog=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
usage=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
report=$(cd "$(dirname "$0")" && pwd)/native_report.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
passes=0

# check NAME EXPECTED ARGS...: stdout must be EXPECTED (printf format, or
# @FILE for FILE's bytes) and the exit status 0. setsid leaves the program
# without a controlling terminal.
check() {
	name=$1 expected=$2
	shift 2
	(cd "$work" && setsid -w "$prog" "$@" >"$work/out" 2>"$work/err" </dev/null)
	status=$?
	case $expected in
	@*) cp "${expected#@}" "$work/want" ;;
	*) printf "$expected" >"$work/want" ;;
	esac
	if [ $status -ne 0 ] || ! cmp -s "$work/out" "$work/want" || [ -s "$work/err" ]; then
		echo "FAIL $name (status $status)"
		echo "  want: $(od -c "$work/want" | head -5)"
		echo "  got:  $(od -c "$work/out" | head -5)"
		[ -s "$work/err" ] && echo "  stderr: $(head -c 300 "$work/err")"
		fails=$((fails + 1))
	else
		passes=$((passes + 1))
	fi
}


check "no arguments" "@$usage"
check "question mark" "@$usage" /?
check "unknown" 'unknown option /q\n' /q
check "slash alone" 'unknown option /\n' /
check "dash alone" 'unknown option -\n' -
check "byte above 127" 'unknown option /\351\n' "$(printf '/\351')"
check "bare words" '' word C:file "" x/c
check "no console window" '00' /c -C
check "no foreground window" '0' /f
check "title and close are silent" '' /tTitle /x
check "refresh" 'Refreshing fonts ... OK\n' /r
check "refresh missing font" 'Adding font no such.ttf ... Jmeno fontu no such.ttf\nExistuje ? 0\nOK\nRefreshing fonts ... OK\n' "/rno such.ttf"
: >"$work/real.ttf"
check "refresh existing font" 'Adding font real.ttf ... Jmeno fontu real.ttf\nExistuje ? 1\nOK\nRefreshing fonts ... OK\n' -Rreal.ttf
check "format characters are data" 'unknown option /%%s%%n\n' /%s%n

long=$(printf '%0100000d' 0 | tr 0 L)
check "100 000-byte font value" "Adding font $long ... Jmeno fontu $long\nExistuje ? 0\nOK\nRefreshing fonts ... OK\n" "/r$long"

# The report: no windows, no Windows version, a current directory that has
# no drive letter, and a drive C that cannot be queried.
check "information report" "@$report" /i

# A current directory too long for the 260-byte buffer is read all the same.
deep=$work
while [ ${#deep} -le 300 ]; do deep=$deep/dddddddddddddddddddddddddddddddddddddddddddddddddd; done
mkdir -p "$deep"
saved=$work
work=$deep
check "long current directory" "@$report" /i
work=$saved

echo "$passes passed, $fails failed"
[ $fails -eq 0 ] || { echo "to run it again: $rerun"; exit 1; }

#!/bin/sh
# Installs, on Debian, whatever the build and the tests need and is missing.
# The 32-bit program runs on Wine's 32-bit half, from the i386 architecture,
# and on ReactOS in QEMU, on a FAT disk made with mtools, dosfstools and sfdisk.
# The release is signed with osslsigncode; the tests make their certificate
# with openssl. Wine takes the ANSI code page 932 from the glibc locale
# ja_JP.UTF-8, which a test of a deep folder needs generated.
set -eu
packages="cmake make g++ libgtest-dev python3 clang libclang-rt-14-dev
g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
wine wine64 wine32:i386 xvfb
qemu-system-x86 mtools dosfstools fdisk
osslsigncode openssl locales"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
# A mirror in the middle of a sync fails an index now and then ("File has
# unexpected size"): try again a little later, then go on with the lists
# there are; an install that still lacks a package fails on its own.
stale=
update() {
	for wait in 10 20 30 -; do
		$sudo apt-get update && return 0
		[ "$wait" = - ] && break
		echo "apt-get update failed; trying again in $wait s" >&2
		sleep "$wait"
	done
	echo "apt-get update failed four times; going on with the package lists there are" >&2
	stale=yes
}
# With one architecture's list of the security suite missing, the other's
# newer versions leave the two halves of a Multi-Arch package (wine32:i386
# beside wine64) unmatched: take the release's own versions, which every
# list holds, and the security suite's where nothing else is needed.
install() {
	apt="$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends"
	$apt "$@" && return 0
	[ -n "$stale" ] || return 1
	release=$(. /etc/os-release && echo "$VERSION_CODENAME")
	echo "apt-get install failed on stale lists; trying again with $release's own versions" >&2
	$apt -t "$release" "$@"
}
japanese() {
	locale -a 2>/dev/null | grep -qx ja_JP.utf8 ||
		$sudo localedef -i ja_JP -c -f UTF-8 ja_JP.UTF-8 ||
		echo "could not make the locale ja_JP.UTF-8: the deep folder's case will skip"
}
missing=
for p in $packages; do
	dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' ||
		missing="$missing $p"
done
[ -z "$missing" ] && { japanese; exit 0; }
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
echo "installing:$missing"
update
install $missing
japanese

#!/bin/sh
# After `cmake --workflow --preset release` in the checkout: builds the
# release again from a copy of the work tree in another folder, later, in
# another time zone, locale and umask, and fails unless dist/ comes out byte
# for byte the same and SHA256SUMS checks out. Then signs that build with a
# throwaway self-signed certificate (the workflow's checks then read the
# signed programs) and fails unless osslsigncode accepts both signatures and
# each signed program, its signature removed, is the unsigned one.
# Usage: tests/release_rebuild.sh
set -eu
cd "$(dirname "$0")/.."
work=$PWD/build/rebuild
copy=$work/src
rm -rf "$work"
mkdir -p "$copy" "$work/sign"
# The work tree as it stands, uncommitted changes included, without .git:
# the commit's time is given as SOURCE_DATE_EPOCH, as for a source tarball.
tar -cf - --exclude=./.git --exclude=./build --exclude=./dist . | tar -xf - -C "$copy"
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

workflow() { # LOG, then the arguments of env
	log=$work/$1
	shift
	(cd "$copy" && umask 077 && env "$@" cmake --workflow --preset release) >"$log" 2>&1 ||
		{ tail -40 "$log"; echo "release build failed, see $log"; exit 1; }
}

sleep 2 # a later time, even in a ZIP's two-second steps
workflow unsigned.log -u OSTRIVEL_SIGN_CERT -u OSTRIVEL_SIGN_KEY \
	SOURCE_DATE_EPOCH="$epoch" TZ=KIR-14 LC_ALL=C.UTF-8
fails=0
if [ "$(ls dist)" != "$(ls "$copy/dist")" ]; then
	echo "dist/ holds $(ls dist | tr '\n' ' ')but the rebuild $(ls "$copy/dist" | tr '\n' ' ')"
	fails=1
fi
for f in dist/*; do
	cmp "$f" "$copy/$f" || fails=1
done
(cd dist && sha256sum -c SHA256SUMS) || fails=1
[ $fails -eq 0 ] || { echo "the release is not reproducible"; exit 1; }
echo "reproducible: $(ls dist | wc -l) files of dist/ byte for byte the same from $copy"

# A code-signing certificate valid for two days, its key behind a passphrase.
sign=$work/sign
echo "throwaway" >"$sign/pass"
openssl req -x509 -newkey rsa:2048 -days 2 -subj "/CN=Ostrivel test signer" \
	-addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
	-keyout "$sign/key.pem" -passout "file:$sign/pass" -out "$sign/cert.pem" 2>/dev/null
workflow signed.log OSTRIVEL_SIGN_CERT="$sign/cert.pem" OSTRIVEL_SIGN_KEY="$sign/key.pem" \
	OSTRIVEL_SIGN_PASS_FILE="$sign/pass"
grep -q '100% tests passed' "$log" || { echo "the signed programs' checks did not run"; exit 1; }
for zip in "$copy"/dist/*.zip; do
	name=$(basename "$zip" .zip)
	python3 -m zipfile -e "$zip" "$sign/$name"
	if ! osslsigncode verify -in "$sign/$name/ostrivel.exe" -CAfile "$sign/cert.pem" >"$sign/$name.log" 2>&1; then
		cat "$sign/$name.log"
		echo "FAIL $name: ostrivel.exe is not signed with the certificate"
		exit 1
	fi
	python3 -m zipfile -e "dist/$name.zip" "$sign/$name.unsigned"
	osslsigncode remove-signature -in "$sign/$name/ostrivel.exe" -out "$sign/$name/removed.exe" >/dev/null
	cmp "$sign/$name/removed.exe" "$sign/$name.unsigned/ostrivel.exe" ||
		{ echo "FAIL $name: signing changed more than the signature"; exit 1; }
	echo "$name: ostrivel.exe signed, signature verified against the certificate;" \
		"without it, the unsigned program"
done

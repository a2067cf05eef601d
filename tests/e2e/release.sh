#!/usr/bin/env bash
# The release as scripts/package.sh makes it and scripts/verify-release.sh
# checks it, each program built only where a check needs a build of its own:
# five builds, one after another.
# - Two clones of HEAD (the commit, not the uncommitted work), in folders
#   whose paths differ in name and length, each holding a header that would
#   stop any build that read it, hidden from git outside the commit: by the
#   clone's .git/info/exclude in A, by a global excludes file in B.
# - A, under umask 022, TZ=UTC0 and LC_ALL=C.UTF-8, packages both programs
#   (two builds), signed with a throwaway CA's code-signer in a PKCS#12 with
#   a password and time-stamped by an authority on 127.0.0.1, at a release
#   time of its own: they verify, and carry that time.
# - B, under umask 077, TZ=Asia/Tokyo and LC_ALL=ja_JP.UTF-8, checks that
#   release with verify-release.sh, which builds both programs there anew
#   (two builds) at BUILDINFO's time: each program, its signature aside, and
#   each zip must be byte for byte what B makes. So the release is
#   reproducible across the two folders, and verify-release.sh finds a
#   faithful release identical.
# - verify-release.sh finds a changed byte where it is (one build).
# Without a build: a release takes the commit's time unless given one;
# verify-release.sh refuses before building a zip that holds other entries,
# a link or a bomb, or whose signature or time stamp does not hold, and
# prints no escape character from a download; failed signings, changed
# trees, release times out of range and a foreign checkout's time are
# refused. No Wine.
#   tests/e2e/release.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# The time-stamp server and its clients talk over loopback only, in a
# namespace where nothing else exists.
"$root/scripts/netns-is-isolated.sh" || exec "$root/scripts/in-netns.sh" bash "${BASH_SOURCE[0]}" "$@"

work=$(mktemp -d)
tsa_pid=
trap '[[ -z $tsa_pid ]] || kill "$tsa_pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
step() { echo "-- $*"; }
# The caller's release time would win over the commit's.
unset SOURCE_DATE_EPOCH
for tool in openssl osslsigncode python3; do
    command -v "$tool" >/dev/null || fail "this test needs $tool"
done

commit=$(git -C "$root" rev-parse HEAD)
export GIT_CONFIG_GLOBAL=$work/gitconfig
git config --global core.excludesFile "$work/excludes"
clone_with_hidden_header() { # FOLDER HEADER [EXCLUDES-FILE]
    echo "-- a clone in $1, src/$2 hidden by ${3:-.git/info/exclude}"
    { git clone -q --no-checkout "$root" "$1" && git -C "$1" checkout -q --detach "$commit"; } ||
        fail "cannot clone $root at $commit"
    echo "#error src/$2 is not in the commit" >"$1/src/$2"
    echo "/src/$2" >>"${3:-$1/.git/info/exclude}"
}
clone=$work/a
other=$work/a-folder-of-another-length/b
clone_with_hidden_header "$clone" windows.h
clone_with_hidden_header "$other" winsock2.h "$work/excludes"
# In A, unless a step says otherwise.
package() { (umask 022 && cd "$clone" && TZ=UTC0 LC_ALL=C.UTF-8 bash scripts/package.sh "$@"); }
verify() { (umask 022 && cd "$clone" && TZ=UTC0 LC_ALL=C.UTF-8 bash scripts/verify-release.sh "$@"); }
in_other() { (umask 077 && cd "$other" && TZ=Asia/Tokyo LC_ALL=ja_JP.UTF-8 bash "$@"); }
# The time in a program's PE header, as objdump prints it in UTC.
pe_time() { TZ=UTC0 LC_ALL=C x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^Time\/Date[[:space:]]*//p'; }
utc_time() { TZ=UTC0 LC_ALL=C date -d "@$1" '+%a %b %e %H:%M:%S %Y'; }
# Every folder and file below DIR, hidden ones too, and each file's SHA-256:
# what a failed run must leave as it was.
snapshot() { (cd "$1" && find . -mindepth 1 -type d && find . -type f -exec sha256sum {} +) | LC_ALL=C sort; }

step "throwaway CAs, code-signers in PKCS#12s with a password, time-stamp authorities"
pki=$work/pki
mkdir "$pki"
cd "$pki"
# The CA that --ca names, and a foreign one, which only a second time-stamp
# authority comes from.
for ca in ca foreign-ca; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout $ca.key -out $ca.pem -days 2 -subj "/CN=Throwaway $ca" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
done
issue() { # NAME EXTENDED-KEY-USAGE [CA [DAYS]]
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=Throwaway $1" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$2" >"$1.ext"
    openssl x509 -req -in "$1.csr" -CA "${3:-ca}.pem" -CAkey "${3:-ca}.key" -CAcreateserial -days "${4:-2}" \
        -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}
issue signer codeSigning
issue expired-signer codeSigning ca -1
issue tsa critical,timeStamping
issue foreign-tsa critical,timeStamping foreign-ca
echo "correct horse" >password
echo "wrong horse" >wrong-password
for signer in signer expired-signer; do
    openssl pkcs12 -export -inkey $signer.key -in $signer.pem -certfile ca.pem -passout file:password -out $signer.p12
done
cat >ts.cnf <<CONF
[tsa]
default_tsa = here
[here]
serial = $pki/serial
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
ess_cert_id_alg = sha256
CONF
echo 01 >serial
python3 - >"$work/tsa-port" 2>"$work/tsa.log" <<'EOF' &
import http.server, subprocess
class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        who = "foreign-" if self.path == "/foreign" else ""
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", "ts.cnf", "-queryfile", "/dev/stdin",
                                "-signer", who + "tsa.pem", "-inkey", who + "tsa.key", "-chain", who + "ca.pem",
                                "-out", "/dev/stdout"],
                               input=query, capture_output=True, check=True).stdout
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
print(server.server_port, flush=True)
server.serve_forever()
EOF
tsa_pid=$!
# As every wait of the tests, 5 s on a quiet machine times ETHBOX_WAIT_SCALE.
tsa_within=$((5 * ${ETHBOX_WAIT_SCALE:-3}))
for ((waited = 0; waited < tsa_within * 10; waited++)); do
    [[ ! -s $work/tsa-port ]] || break
    sleep 0.1
done
tsa=http://127.0.0.1:$(cat "$work/tsa-port")
[[ $tsa =~ :[0-9]+$ ]] || fail "the time-stamp authority did not start within $tsa_within s: $(cat "$work/tsa.log")"
cd "$work"
signing=(--sign "$pki/signer.p12" --sign-password-file "$pki/password")

step "package.sh --sign in A, the password through a pipe, a release time of its own: both programs built," \
    "signed and time-stamped, SHA256SUMS over the signed zips"
# A pipe gives the password once, for both programs.
release_time=1234567890
SOURCE_DATE_EPOCH=$release_time package --sign "$pki/signer.p12" --sign-password-file <(cat "$pki/password") \
    --timestamp "$tsa" >"$work/package.log" 2>&1 || fail "signed packaging failed: $(tail -n 20 "$work/package.log")"
release=$clone/build/package
files=$(cd "$release" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort | tr '\n' ' ')
[[ $files =~ ^BUILDINFO\ (EthBoxVup-[0-9.]+-win32\.zip)\ (EthBoxVup-[0-9.]+-win64\.zip)\ SHA256SUMS\ $ ]] ||
    fail "package.sh wrote [$files]"
zip32=${BASH_REMATCH[1]} zip64=${BASH_REMATCH[2]}
(cd "$release" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not check the signed zips"
grep -qx "package osslsigncode $(dpkg-query -W -f='${Version}' osslsigncode)" "$release/BUILDINFO" ||
    fail "BUILDINFO does not name the osslsigncode that signed"
grep -qx "SOURCE_DATE_EPOCH $release_time" "$release/BUILDINFO" || fail "BUILDINFO does not hold the release's time"
grep -qx "commit $commit" "$release/BUILDINFO" || fail "BUILDINFO does not name the commit $commit"
for zip in "$zip32" "$zip64"; do
    unzip -p "$release/$zip" EthBoxVup.exe >signed.exe
    [[ $(pe_time signed.exe) == "$(utc_time "$release_time")" ]] ||
        fail "$zip's program is stamped [$(pe_time signed.exe)], not the release's time"
    osslsigncode verify -CAfile "$pki/ca.pem" -TSA-CAfile "$pki/ca.pem" -in signed.exe >verify.log 2>&1 ||
        fail "$zip's program does not verify against the CA: $(tail -n 5 verify.log)"
    for line in 'Message digest algorithm *: SHA256' 'Text description: EthBoxVup' \
        'Timestamp Server Signature verification: ok'; do
        grep -q "$line" verify.log || fail "$zip's program: no [$line] in osslsigncode verify's report"
    done
    rm -f unsigned.exe
    osslsigncode remove-signature -in signed.exe -out unsigned.exe >/dev/null
    grep -qx "unsigned-program-sha256 $zip $(sha256sum <unsigned.exe | cut -d ' ' -f 1)" "$release/BUILDINFO" ||
        fail "BUILDINFO does not hold the SHA-256 of $zip's program before it was signed"
done
cp -r "$release" published

step "verify-release.sh in B: both programs built there anew at BUILDINFO's time; the signed release," \
    "program and zip, is byte for byte what B makes, with nothing in BUILDINFO other than here"
in_other scripts/verify-release.sh "$work/published" --ca "$pki/ca.pem" >verify-release.log 2>&1 ||
    fail "verify-release.sh refused the release: $(tail -n 20 verify-release.log)"
grep -qx "verify-release: the release's time is BUILDINFO's SOURCE_DATE_EPOCH $release_time" verify-release.log ||
    fail "verify-release.sh did not take the release's time from BUILDINFO: $(cat verify-release.log)"
for zip in "$zip32" "$zip64"; do
    { grep -qx "$zip: identical to the source" verify-release.log &&
        grep -q "^$zip: signature and its time stamp of .* verified against" verify-release.log; } ||
        fail "verify-release.sh said of $zip: $(grep "^$zip" verify-release.log)"
done
! grep '^verify-release: warning' verify-release.log || fail "B's build differs from A's in what BUILDINFO names"

step "without a release time of the caller's, a package takes the commit's"
built64=$clone/build/release/win64/src/app/win32/EthBoxVup.exe
in_other scripts/package.sh --exe "$built64" --out "$work/commit-time" >commit-time.log 2>&1 ||
    fail "package.sh --exe failed in B: $(cat commit-time.log)"
commit_time=$(git -C "$root" log -1 --format=%ct)
unzip -p "$work/commit-time/$zip64" EthBoxVup.exe >commit-time.exe
[[ $(pe_time commit-time.exe) == "$(utc_time "$commit_time")" ]] ||
    fail "the program is stamped [$(pe_time commit-time.exe)], not the commit's time [$(utc_time "$commit_time")]"

step "verify-release.sh refuses, before unpacking what is too big and before building, a zip that holds" \
    "other entries, a link or a bomb, or whose signature or time stamp does not hold; no escape reaches the terminal"
mkdir files
unzip -q -d files published/"$zip64"
rm -f unsigned.exe
osslsigncode remove-signature -in files/EthBoxVup.exe -out unsigned.exe >/dev/null || fail "cannot unsign $zip64"
sign_as() { # P12 OUT [OPTIONS...]
    osslsigncode sign -pkcs12 "$pki/$1" -readpass "$pki/password" -h sha256 -n EthBoxVup "${@:3}" \
        -in unsigned.exe -out "$2" >/dev/null || fail "cannot sign $2"
}
sign_as signer.p12 foreign-stamp.exe -ts "$tsa/foreign"
sign_as expired-signer.p12 expired.exe
range="315532800 (1980-01-01T00:00:00Z) to 4294967295 (2106-02-07T06:28:15Z)"
row=0
# Each row makes a release of the win64 zip in a folder that holds the
# published zip's three files (the program signed and time-stamped).
refused_release() { # WHAT EXPECTED-LINE COMMANDS
    local folder=$work/row-$((++row))
    cp -r files "$folder"
    (cd "$folder" && eval "$3" && sha256sum -- "$zip64" >SHA256SUMS) || fail "$1: cannot make it"
    ! verify "$folder" --ca "$pki/ca.pem" >row.log 2>&1 || fail "$1 was accepted: $(cat -v row.log)"
    grep -qxF -- "$2" row.log || fail "$1: no [$2] in: $(cat -v row.log)"
    ! grep -q -e 'building the' -e $'\e' row.log || fail "$1: built, or printed an escape: $(cat -v row.log)"
}
entries="EthBoxVup.exe README.txt LICENSE.txt"
refused_release "an extra entry" "$zip64: holds [$entries extra.txt], not EthBoxVup.exe, README.txt and LICENSE.txt" \
    'echo extra >extra.txt && zip -q -X "$zip64" $entries extra.txt'
refused_release "a missing entry" "$zip64: holds [EthBoxVup.exe README.txt], not EthBoxVup.exe, README.txt and LICENSE.txt" \
    'zip -q -X "$zip64" EthBoxVup.exe README.txt'
refused_release "a program of 8 MiB and a byte" \
    "$zip64: its entry EthBoxVup.exe would unpack to 8388609 bytes, more than the 8388608 a program of EthBoxVup can be; not unpacked" \
    'truncate -s 8388609 EthBoxVup.exe && zip -q -X "$zip64" $entries'
# A bomb whose directory and local header say its program is 1 byte long.
# shellcheck disable=SC2034 # the rows' commands use it, through eval
lie='import struct, sys
zip = bytearray(open(sys.argv[1], "rb").read())
for signature, at in (b"PK\3\4", 22), (b"PK\1\2", 24):
    struct.pack_into("<I", zip, zip.find(signature) + at, 1)
open(sys.argv[1], "wb").write(zip)'
refused_release "a program that unpacks to more than its directory says" \
    "$zip64: its program unpacks to more than the 8388608 bytes a program of EthBoxVup can be" \
    'truncate -s 8388609 EthBoxVup.exe && zip -q -X "$zip64" $entries && python3 -c "$lie" "$zip64"'
refused_release "a link" "$zip64: its entry EthBoxVup.exe is a symbolic link" \
    'ln -sf /etc/hostname EthBoxVup.exe && zip -q -X -y "$zip64" $entries'
refused_release "a zip that is a link" \
    "verify-release: $zip64 is a symbolic link, which a release never holds: download it again" \
    'zip -q -X ../linked.zip $entries && ln -s ../linked.zip "$zip64"'
refused_release "an unsigned program" "$zip64: its program is not signed" \
    'cp ../unsigned.exe EthBoxVup.exe && zip -q -X "$zip64" $entries'
refused_release "a time stamp of an authority the CA does not know" \
    "$zip64: the signature of its program verifies against $pki/ca.pem, its time stamp does not" \
    'cp ../foreign-stamp.exe EthBoxVup.exe && zip -q -X "$zip64" $entries'
refused_release "an expired signer without a time stamp" \
    "$zip64: its program has no time stamp, and the certificate that signed it has expired: the signature no longer holds" \
    'cp ../expired.exe EthBoxVup.exe && zip -q -X "$zip64" $entries'
refused_release "a file whose name holds an escape sequence" \
    'EthBoxVup-\x1b]0;owned\x07.zip: not named in SHA256SUMS, not checked' \
    'zip -q -X "$zip64" EthBoxVup.exe && touch "EthBoxVup-$(printf "\e]0;owned\a").zip"'
refused_release "BUILDINFO's time out of range" \
    "verify-release: BUILDINFO gives SOURCE_DATE_EPOCH [4354819200], not a number of seconds from $range" \
    'zip -q -X "$zip64" $entries && echo "SOURCE_DATE_EPOCH 4354819200" >BUILDINFO'

step "a wrong password, a time-stamp server that does not answer, a missing key: refused, nothing written"
before=$(snapshot "$work/published")
refused() { # WHAT EXPECTED-MESSAGE PACKAGE-ARGUMENTS...
    local what=$1 expected=$2
    shift 2
    ! package "$@" >refused.log 2>&1 || fail "$what was not refused"
    grep -q "$expected" refused.log || fail "$what: no [$expected] in: $(cat refused.log)"
}
refused "a wrong password" "wrong password" --exe "$built64" --out "$work/published" \
    --sign "$pki/signer.p12" --sign-password-file "$pki/wrong-password"
refused "a dead time-stamp server" "no time stamp from http://127.0.0.1:9" --exe "$built64" \
    --out "$work/published" "${signing[@]}" --timestamp http://127.0.0.1:9
[[ $(snapshot "$work/published") == "$before" ]] || fail "a refused signing changed the published folder"
before=$(snapshot "$release")
refused "a missing key" "cannot read the signing key" --sign "$pki/missing.p12"
for epoch in 0 4354819200; do
    SOURCE_DATE_EPOCH=$epoch refused "SOURCE_DATE_EPOCH $epoch" "is \[$epoch\], not a number of seconds from $range"
    ! grep -q 'building the' refused.log || fail "SOURCE_DATE_EPOCH $epoch was refused only after building"
done

step "a changed tree is refused, with its changed files named, those git is told not to look at too;" \
    "ignored ones do not count"
echo stray >"$clone/stray.txt"
echo "built" >"$clone/build/ignored.txt"
git -C "$clone" update-index --skip-worktree README.md
git -C "$clone" update-index --assume-unchanged LICENSE
echo changed | tee -a "$clone/README.md" >>"$clone/LICENSE"
refused "an untracked file" "^  stray.txt$"
for file in README.md LICENSE; do
    grep -qx "  $file" refused.log || fail "a changed $file that git is told not to look at was not named: $(cat refused.log)"
done
! grep -q ignored.txt refused.log || fail "an ignored file was named: $(cat refused.log)"
[[ $(snapshot "$release") == "$before" ]] || fail "a refused run changed build/package"
rm "$clone/stray.txt"
git -C "$clone" update-index --no-skip-worktree README.md
git -C "$clone" update-index --no-assume-unchanged LICENSE
git -C "$clone" checkout -q -- README.md LICENSE

step "a source tree inside another checkout takes the caller's time, never that checkout's"
outer=$work/outer
git init -q "$outer"
git -C "$outer" -c user.name=t -c user.email=t@t commit -q --allow-empty -m outer
mkdir "$outer/ethboxvup"
git -C "$clone" archive HEAD | tar -x -C "$outer/ethboxvup"
! (cd "$outer/ethboxvup" && bash scripts/package.sh --exe "$built64" --out "$work/merged") >outer.log 2>&1 ||
    fail "package.sh took the time of the checkout around it"
grep -q "inside the git checkout $outer" outer.log || fail "outer checkout: $(cat outer.log)"
# The unsigned win64 zip takes the place of the signed one in SHA256SUMS; the
# win32 line stays.
cp -r published merged
(cd "$outer/ethboxvup" && SOURCE_DATE_EPOCH=1000000000 bash scripts/package.sh --exe "$built64" --out "$work/merged") \
    >outer.log 2>&1 || fail "package.sh --exe with SOURCE_DATE_EPOCH failed: $(cat outer.log)"
[[ $(zipinfo -T "merged/$zip64" EthBoxVup.exe) == *" 20010909.014640 EthBoxVup.exe" ]] ||
    fail "the caller's SOURCE_DATE_EPOCH did not give the entries' time: $(zipinfo -T "merged/$zip64")"
expected=$(grep " $zip32\$" published/SHA256SUMS && cd merged && sha256sum "$zip64")
[[ $(cat merged/SHA256SUMS) == "$expected" ]] || fail "merged SHA256SUMS: $(cat merged/SHA256SUMS)"

step "verify-release.sh: one changed byte in a program is found where it is"
mkdir tampered
cp published/SHA256SUMS published/BUILDINFO published/"$zip64" tampered/
unzip -q -d program tampered/"$zip64" EthBoxVup.exe
offset=5000
byte=$(od -An -tu1 -j "$offset" -N 1 program/EthBoxVup.exe | tr -d ' ')
printf '%b' "\\$(printf '%03o' $((byte ^ 0xff)))" |
    dd of=program/EthBoxVup.exe bs=1 seek="$offset" conv=notrunc status=none
(cd program && zip -q "$work/tampered/$zip64" EthBoxVup.exe)
sed -i "s/^[0-9a-f]*\(  $zip64\)\$/$(sha256sum <"tampered/$zip64" | cut -d ' ' -f 1)\1/" tampered/SHA256SUMS
sed -i 's/^package zip .*/package zip 0-not-this-one/' tampered/BUILDINFO
# Fields that would act on dpkg-query (an option, which would list every
# package installed) or on the terminal.
printf 'package --showformat=x 1\npackage \e[2Jzip 1\n' >>tampered/BUILDINFO
# With --ca its signature is refused.
! verify "$work/tampered" --ca "$pki/ca.pem" >verify-release.log 2>&1 ||
    fail "verify-release.sh accepted a changed program: $(cat -v verify-release.log)"
grep -qxF "$zip64: the signature of its program does not verify against $pki/ca.pem" verify-release.log ||
    fail "no refused signature in: $(cat -v verify-release.log)"
! verify "$work/tampered" >verify-release.log 2>&1 ||
    fail "verify-release.sh accepted a changed program: $(cat -v verify-release.log)"
for line in "$zip64: EthBoxVup.exe differs from the source at offset 5000 (0x1388)" \
    "$zip32: not in $work/tampered, not checked" \
    "verify-release: warning: the release was built with zip 0-not-this-one, here it is $(dpkg-query -W -f='${Version}' zip)" \
    "verify-release: warning: the release was built with --showformat=x 1, here it is not installed" \
    'verify-release: warning: the release was built with \x1b[2Jzip 1, here it is not installed'; do
    grep -qxF -- "$line" verify-release.log || fail "no [$line] in: $(cat -v verify-release.log)"
done
! grep -q $'\e' verify-release.log || fail "an escape from BUILDINFO reached the terminal: $(cat -v verify-release.log)"
echo "PASS"

#!/usr/bin/env bash
# scripts/package --sign with certificates this test makes (openssl): a test CA, a
# code-signing certificate it issued and one that expired in 2021. Signed programs verify
# with the CA as the trust anchor, both signatures (SHA-1, SHA-256 nested); the zip and
# the SHA-256 list hold the signed files; without --sign nothing changes; a wrong password,
# the expired certificate, a time-stamp authority that cannot be reached and a missing
# osslsigncode write nothing and leave an earlier package whole. No network is needed.
#   signing_test.sh TREE WINSIM WORK
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
tree="$(realpath "$1")" winsim="$(realpath "$2")" work="$(realpath -m "$3")"
package="$root/scripts/package" sample="$root/packages/sample"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
state_of() {  # names and contents of a folder tree (empty when it is missing)
  [[ -e "$1" ]] || return 0
  (cd "$1" && find . -printf '%p %y\n' | sort && find . -type f -print0 | sort -z | xargs -0 sha256sum)
}
rm -rf "$work" && mkdir -p "$work/certs" || exit 1
certs="$work/certs"

# ---- the certificates -------------------------------------------------------------------
make_certs() (
  set -e
  cd "$certs"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 \
    -subj "/CN=Kestrolin Test CA" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign
  cat > ca.cnf <<EOF
[ca]
default_ca = test
[test]
database = $certs/index.txt
new_certs_dir = $certs
serial = $certs/serial
default_md = sha256
policy = anything
x509_extensions = codesign
[anything]
commonName = supplied
[codesign]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
EOF
  : > index.txt && echo 1000 > serial
  printf 'test password\n' > password.txt
  for who in signer expired; do
    openssl req -newkey rsa:2048 -nodes -keyout $who.key -out $who.csr -subj "/CN=Korvane $who"
  done
  openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in signer.csr -out signer.pem \
    -days 365
  openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in expired.csr \
    -out expired.pem -startdate 20200101000000Z -enddate 20210101000000Z
  for who in signer expired; do
    openssl pkcs12 -export -inkey $who.key -in $who.pem -certfile ca.pem -out $who.pfx \
      -passout file:password.txt
  done
  # Another CA, which issued nothing here: no trust anchor for the signer.
  openssl req -x509 -newkey rsa:2048 -nodes -keyout other.key -out other.pem -days 30 \
    -subj "/CN=Another CA"
)
make_certs > "$work/certs.log" 2>&1 || { cat "$work/certs.log"; echo "FAILED: the test certificates"; exit 1; }

run() { "$package" "$sample" --programs "$tree" --winsim "$winsim" "$@"; }
programs=(Kestrolin.exe X86/Wendmarrow.exe AMD64/Wendmarrow.exe IA64/Wendmarrow.exe)

# ---- signed ---------------------------------------------------------------------------------
run --out "$work/signed" --sign "$certs/signer.pfx" --password-file "$certs/password.txt" \
  > "$work/log" 2>&1 || { cat "$work/log"; fail "signing with the test certificate was refused"; }
grep -q "signed with $certs/signer.pfx and verified: AMD64/Wendmarrow.exe, IA64/Wendmarrow.exe, Kestrolin.exe, X86/Wendmarrow.exe" \
  "$work/log" || fail "the signed programs are not named"
pkg="$work/signed/KORVANE"
for p in "${programs[@]}"; do
  want=Wendmarrow; [[ $p == Kestrolin.exe ]] && want=Kestrolin
  osslsigncode verify -in "$pkg/$p" -CAfile "$certs/ca.pem" > "$work/verify" 2>&1 ||
    { tail -5 "$work/verify"; fail "$p: osslsigncode verify refuses it with the test CA"; }
  for said in "Number of verified signatures: 2" "Message digest algorithm  : SHA1" \
              "Message digest algorithm  : SHA256" "Text description: $want" \
              "Subject: /CN=Korvane signer"; do
    grep -qF "$said" "$work/verify" || fail "$p: osslsigncode verify does not say \"$said\""
  done
  osslsigncode verify -in "$pkg/$p" -CAfile "$certs/other.pem" > /dev/null 2>&1 &&
    fail "$p: verified with a CA that did not issue its certificate"
done
(cd "$work/signed" && sha256sum --quiet -c KORVANE.sha256) || fail "the SHA-256 list does not hold"
python3 - "$work/signed" <<'EOF' || fail "the zip does not hold the signed files"
import os, sys, zipfile
top = sys.argv[1]
with zipfile.ZipFile(os.path.join(top, "KORVANE.zip")) as z:
    for name in z.namelist():
        assert z.read(name) == open(os.path.join(top, name), "rb").read(), name
EOF

# ---- without --sign nothing changes ---------------------------------------------------------
run --out "$work/plain" > "$work/log" 2>&1 || { cat "$work/log"; fail "the unsigned package was refused"; }
grep -q "signed with" "$work/log" && fail "an unsigned package says it was signed"
cmp -s "$work/plain/KORVANE/Kestrolin.exe" "$tree/installer/Kestrolin.exe" ||
  fail "without --sign the installer is not the built one"
cmp -s "$work/plain/KORVANE/X86/Wendmarrow.exe" "$tree/uninstaller/Wendmarrow.exe" ||
  fail "without --sign the uninstaller is not the built one"
osslsigncode verify -in "$work/plain/KORVANE/Kestrolin.exe" > /dev/null 2>&1 &&
  fail "the unsigned installer verifies"
diff <(cd "$work/plain/KORVANE" && find . -type f ! -name '*.exe' -print0 | sort -z | xargs -0 sha256sum) \
     <(cd "$pkg" && find . -type f ! -name '*.exe' -print0 | sort -z | xargs -0 sha256sum) > /dev/null ||
  fail "signing changed files that are no programs"
for p in "${programs[@]}"; do
  cmp -s "$work/plain/KORVANE/$p" "$pkg/$p" && fail "$p: the same signed and unsigned"
done

# ---- refusals: nothing written, an earlier package left whole -------------------------------
cp -R "$work/signed" "$work/earlier"
refuse() {  # refuse NAME MESSAGE ARGS...: refused with MESSAGE, nothing written
  local name="$1" message="$2" was
  shift 2
  was="$(state_of "$work/earlier")"
  "$@" > "$work/log" 2>&1
  local rc=$?
  [[ $rc -eq 1 ]] || fail "$name: exit $rc, not 1"
  grep -qF -- "$message" "$work/log" && grep -q "nothing written" "$work/log" ||
    { cat "$work/log"; fail "$name: the refusal does not say \"$message\""; }
  [[ "$(state_of "$work/earlier")" == "$was" ]] || fail "$name: the earlier package was changed"
  [[ -z "$(find "$work/earlier" -maxdepth 1 -name '.*' ! -name .)" ]] || fail "$name: left-overs"
}
printf 'not the password\n' > "$work/wrong.txt"
refuse "a wrong password" "reading the certificates of $certs/signer.pfx failed" \
  run --out "$work/earlier" --sign "$certs/signer.pfx" --password-file "$work/wrong.txt"
refuse "no password for a certificate that has one" "$certs/signer.pfx" \
  run --out "$work/earlier" --sign "$certs/signer.pfx"
refuse "an expired certificate" "certificate has expired" \
  run --out "$work/earlier" --sign "$certs/expired.pfx" --password-file "$certs/password.txt"
grep -q "verifying the signatures of" "$work/log" || fail "the expired certificate: not the verification"
refuse "a missing certificate" "$work/none.pfx: no certificate file" \
  run --out "$work/earlier" --sign "$work/none.pfx"
# A time-stamp authority on a port of this computer where nothing listens.
refuse "an unreachable time-stamp authority" "failed" \
  run --out "$work/earlier" --sign "$certs/signer.pfx" --password-file "$certs/password.txt" \
  --timestamp http://127.0.0.1:9/
python="$(python3 -c 'import sys; print(sys.executable)')"
refuse "no osslsigncode" "osslsigncode is not installed" \
  env PATH="$work/none" "$python" "$package" "$sample" --programs "$tree" \
  --winsim "$winsim" --out "$work/earlier" --sign "$certs/signer.pfx"
"$package" "$sample" --password-file "$certs/password.txt" > "$work/log" 2>&1
[[ $? -eq 2 ]] && grep -q -- "--password-file and --timestamp go with --sign" "$work/log" ||
  fail "--password-file without --sign is no usage error"

[[ $failures -eq 0 ]] && echo "signing tests: all passed" && exit 0
echo "signing tests: $failures failed"
exit 1

#!/usr/bin/env bash
# Runs scripts/release.sh in copies of the project laid out as fresh clones, and checks
# what it leaves in dist/. Cases:
#   archive    Two copies in folders of different names and depths, committed at
#              different times and released under different umasks and time zones, one
#              with its commit time and one with SOURCE_DATE_EPOCH set to that time, give
#              the same bytes; the archive holds what it should, as it should.
#   signed     Signed with a throwaway certificate made here, the password coming from
#              a file and from the environment: the executable verifies against the
#              certificate, with SHA-256, is the unsigned one once the signature is
#              removed, passes the executable check, and the password is on no command
#              line. The signed executable is left in WORK_DIR/signed/ for a real run
#              under Wine.
#   bad_input  Each bad invocation, and a step failing late, prints one line naming the
#              problem, exits non-zero and leaves dist/ as it was.
# Usage: check_release.sh CASE SOURCE_DIR WORK_DIR OBJDUMP
# "signed" compares with the unsigned archive that "archive" leaves in WORK_DIR.
set -euo pipefail
case=$1 source=$(cd "$2" && pwd) work=$3 objdump=$4
tests=$source/tests

# Whatever the caller's environment holds, each run gets only what a case gives it.
unset SOURCE_DATE_EPOCH BRIXHOLD_SIGN_PASSWORD

# 2026-01-01 12:00:00 UTC, an even second: zip keeps times to two seconds.
commitTime=1767268800
commitStamp=20260101.120000

# The version is read from CMakeLists.txt here, apart from release.sh.
version=$(sed -n 's/^project(Brixhold VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
name=Brixhold-$version-win32

failures=0
Fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# Copies the project as it stands in SOURCE_DIR, new files git does not ignore included,
# into a new git repository TREE with one commit made at TIME. The files get the time of
# the copy and modes after the umask, as a clone's would.
# Usage: NewTree TREE TIME
NewTree() {
    local tree=$1 time=$2 file
    rm -rf "$tree"
    mkdir -p "$tree"
    git -C "$source" ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' file; do
            [ ! -e "$source/$file" ] || printf '%s\0' "$file"
        done |
        tar -C "$source" --null -T - -cf - | tar -C "$tree" --touch --no-same-permissions -xf -
    git -C "$tree" -c init.defaultBranch=main init -q
    git -C "$tree" add -A
    GIT_AUTHOR_DATE="@$time +0000" GIT_COMMITTER_DATE="@$time +0000" \
        git -C "$tree" -c user.name=Release -c user.email=release@localhost commit -q -m release
}

# A throwaway code-signing certificate, made afresh for each run, in DIR: cert.pem, and
# signer.pfx with the password in the file password.
# Usage: NewSigner DIR
NewSigner() {
    local dir=$1
    rm -rf "$dir"
    mkdir -p "$dir"
    printf '%s\n' "throwaway $$ $RANDOM" >"$dir/password"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Brixhold throwaway signer' \
        -addext extendedKeyUsage=codeSigning \
        -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/cert.pem" \
        -out "$dir/signer.pfx" -passout "file:$dir/password"
}

# Runs release.sh in TREE with the arguments given, its output in TREE.out. Sets status.
# Usage: [VARIABLE=VALUE...] Release TREE [ARGUMENT...]
Release() {
    local tree=$1
    shift
    status=0
    (cd "$tree" && ./scripts/release.sh "$@") >"$tree.out" 2>&1 || status=$?
}

# Unpacks ARCHIVE into the empty folder FOLDER.
# Usage: Unpack ARCHIVE FOLDER
Unpack() {
    rm -rf "$2"
    mkdir -p "$2"
    unzip -q "$1" -d "$2"
}

# The released executable at EXE passes the executable check as the default build.
# Usage: CheckExecutable EXE
CheckExecutable() {
    bash "$tests/check_executable.sh" "$objdump" "$1" x86 asInvoker "$tests/imports/win32.txt" ||
        Fail "$1 does not pass the executable check"
}

Case_archive() {
    local first=$work/first second="$work/second/a longer name"
    NewTree "$first" "$commitTime"
    umask 022
    TZ=NST+3:30 Release "$first"
    [ "$status" -eq 0 ] || { Fail "release.sh failed: $(cat "$first.out")"; return; }

    # Another place, a later commit, another umask and time zone: only the time of the
    # entries is set, through SOURCE_DATE_EPOCH.
    (umask 077 && NewTree "$second" $((commitTime + 86401)))
    umask 077
    SOURCE_DATE_EPOCH=$commitTime TZ=XYZ-5:45 Release "$second"
    umask 022
    [ "$status" -eq 0 ] || { Fail "release.sh failed: $(cat "$second.out")"; return; }

    local archive=$first/dist/$name.zip
    cmp "$archive" "$second/dist/$name.zip" || Fail "the two releases differ"
    cp "$archive" "$work/unsigned.zip"

    local printed
    printed=$(printf 'Archive: dist/%s.zip\nSHA-256: %s' "$name" "$(sha256sum "$archive" | cut -d ' ' -f 1)")
    [ "$(cat "$first.out")" = "$printed" ] ||
        Fail "release.sh printed [$(cat "$first.out")], not [$printed]"

    # Order, permissions and time of each entry; zip's own fields for the owner and
    # extra time stamps would show as extra fields.
    local expected actual
    expected=$(printf '%s\n' "drwxr-xr-x $commitStamp $name/" \
        "-rw-r--r-- $commitStamp $name/"{Brixhold.exe,README.md,LICENSE,SHA256SUMS})
    actual=$(TZ=UTC zipinfo -T -s "$archive" | awk '$3 == "unx" { print $1, $7, $8 }')
    [ "$actual" = "$expected" ] || Fail "entries [$actual], not [$expected]"
    if zipinfo -v "$archive" | grep 'length of extra field' | grep -qv ' 0 bytes'; then
        Fail "entries carry extra fields"
    fi

    local unpacked=$work/unpacked
    Unpack "$archive" "$unpacked"
    cmp "$unpacked/$name/README.md" "$source/README.md" || Fail "README.md is not the project's"
    cmp "$unpacked/$name/LICENSE" "$source/LICENSE" || Fail "LICENSE is not the project's"
    cmp "$unpacked/$name/Brixhold.exe" "$first/build/release/Brixhold.exe" ||
        Fail "Brixhold.exe is not the one built"
    [ "$(awk '{ print $2 }' "$unpacked/$name/SHA256SUMS")" = Brixhold.exe ] ||
        Fail "SHA256SUMS names not only Brixhold.exe: $(cat "$unpacked/$name/SHA256SUMS")"
    (cd "$unpacked/$name" && sha256sum --strict -c SHA256SUMS >/dev/null) ||
        Fail "SHA256SUMS does not match Brixhold.exe"
    CheckExecutable "$unpacked/$name/Brixhold.exe"
}

Case_signed() {
    local tree=$work/first signer=$work/signer tools=$work/tools
    [ -f "$work/unsigned.zip" ] || { Fail "no unsigned archive: the archive case comes first"; return; }
    Unpack "$work/unsigned.zip" "$work/unsigned"
    local unsigned=$work/unsigned/$name/Brixhold.exe
    NewSigner "$signer"
    local password
    password=$(<"$signer/password")

    # The signing tools, wrapped to write down their command lines.
    rm -rf "$tools"
    mkdir -p "$tools"
    local tool
    for tool in osslsigncode openssl; do
        printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s/command-lines"\nexec %s "$@"\n' \
            "$tools" "$(command -v "$tool")" >"$tools/$tool"
        chmod +x "$tools/$tool"
    done

    local source_of_password signed=$work/signed-unpacked
    for source_of_password in file environment; do
        case $source_of_password in
            file) PATH=$tools:$PATH Release "$tree" --sign "$signer/signer.pfx" \
                      --password-file "$signer/password" ;;
            environment) PATH=$tools:$PATH BRIXHOLD_SIGN_PASSWORD=$password \
                             Release "$tree" --sign "$signer/signer.pfx" ;;
        esac
        [ "$status" -eq 0 ] || { Fail "password from $source_of_password: $(cat "$tree.out")"; continue; }
        Unpack "$tree/dist/$name.zip" "$signed"
        local exe=$signed/$name/Brixhold.exe
        (cd "$signed/$name" && sha256sum --strict -c SHA256SUMS >/dev/null) ||
            Fail "password from $source_of_password: SHA256SUMS does not match the signed Brixhold.exe"
        if ! osslsigncode verify -CAfile "$signer/cert.pem" -in "$exe" >"$work/verify.out" 2>&1; then
            Fail "password from $source_of_password: the signature does not verify: $(cat "$work/verify.out")"
        elif ! grep -q '^Message digest algorithm *: SHA256' "$work/verify.out"; then
            Fail "password from $source_of_password: not signed with SHA-256: $(grep -i 'digest algorithm' "$work/verify.out")"
        fi
        rm -f "$work/removed.exe"
        osslsigncode remove-signature -in "$exe" -out "$work/removed.exe" >/dev/null
        cmp "$work/removed.exe" "$unsigned" ||
            Fail "password from $source_of_password: without its signature it is not the unsigned executable"
        CheckExecutable "$exe"
    done

    grep -q '^sign ' "$tools/command-lines" || Fail "osslsigncode was not run through its wrapper"
    if grep -qF "$password" "$tools/command-lines"; then
        Fail "the password is on a command line: $(grep -F "$password" "$tools/command-lines")"
    fi

    mkdir -p "$work/signed"
    cp "$signed/$name/Brixhold.exe" "$work/signed/Brixhold.exe"
}

# TEXT with the placeholders of the bad-input cases filled in from the case's folders.
# Usage: Fill TEXT
Fill() {
    local text=$1
    text=${text//@PFX@/$signer/signer.pfx}
    text=${text//@CERT@/$signer/cert.pem}
    text=${text//@PASSWORD@/$signer/password}
    text=${text//@WRONG@/$signer/wrong-password}
    text=${text//@NONE@/$signer/none}
    text=${text//@FAKES@/$fakes:$PATH}
    printf '%s' "$text"
}

# The files in dist/ with their SHA-256 sums.
DistState() {
    (cd "$tree/dist" && find . -type f -exec sha256sum {} + | sort)
}

Case_bad_input() {
    local tree=$work/bad signer=$work/bad-signer fakes=$work/fakes
    NewTree "$tree" "$commitTime"
    NewSigner "$signer"
    printf 'not the password\n' >"$signer/wrong-password"
    # A step that fails once the archive is being written into dist/.
    rm -rf "$fakes"
    mkdir -p "$fakes"
    printf '#!/bin/sh\necho "mv: cannot move: No space left on device" >&2\nexit 1\n' >"$fakes/mv"
    chmod +x "$fakes/mv"
    mkdir -p "$tree/dist"
    echo "the previous release" >"$tree/dist/$name.zip"
    local before
    before=$(DistState)

    # ENVIRONMENT | ARGUMENTS | THE LINE PRINTED BEGINS
    local cases=(
        "-|--frobnicate|unknown option: --frobnicate; usage: "
        "-|@PFX@|unknown option: @PFX@; usage: "
        "-|--sign|--sign needs a PFX file; usage: "
        "-|--sign --password-file @PASSWORD@|--sign needs a PFX file; usage: "
        "-|--sign @PFX@ --password-file|--password-file needs a file; usage: "
        "-|--sign @PFX@ --password-file @PASSWORD@ --timestamp|--timestamp needs a URL; usage: "
        "-|--password-file @PASSWORD@|--password-file and --timestamp go with --sign; usage: "
        "-|--sign @NONE@ --password-file @PASSWORD@|no PFX file @NONE@"
        "-|--sign @CERT@ --password-file @PASSWORD@|cannot read @CERT@ as a PFX (PKCS#12) file"
        "-|--sign @PFX@ --password-file @NONE@|no password file @NONE@"
        "-|--sign @PFX@|no password for @PFX@: "
        "-|--sign @PFX@ --password-file @WRONG@|wrong password for @PFX@"
        "BRIXHOLD_SIGN_PASSWORD=not the password|--sign @PFX@|wrong password for @PFX@"
        "BRIXHOLD_SIGN_PASSWORD=|--sign @PFX@|empty password for @PFX@: "
        "SOURCE_DATE_EPOCH=yesterday|-|SOURCE_DATE_EPOCH is not a number of seconds: yesterday"
        "GIT_DIR=@NONE@|-|no time for the archive's entries: "
        "-|--sign @PFX@ --password-file @PASSWORD@ --timestamp http://127.0.0.1:9/|signing Brixhold.exe with a time stamp from http://127.0.0.1:9/ failed (its output is in build/release/release.log)"
        "PATH=@FAKES@|-|writing dist/$name.zip failed (its output is in build/release/release.log)"
    )
    local row environment arguments expected word
    for row in "${cases[@]}"; do
        IFS='|' read -r environment arguments expected <<<"$row"
        local variables=() options=()
        [ "$environment" = - ] || variables=("$(Fill "$environment")")
        if [ "$arguments" != - ]; then
            for word in $arguments; do options+=("$(Fill "$word")"); done
        fi
        expected="release.sh: $(Fill "$expected")"
        status=0
        (cd "$tree" && env "${variables[@]}" ./scripts/release.sh "${options[@]}") \
            >"$work/bad.out" 2>&1 || status=$?
        local printed
        printed=$(cat "$work/bad.out")
        [ "$status" -ne 0 ] || Fail "$row: exit status 0"
        [ "$(wc -l <"$work/bad.out")" -eq 1 ] || Fail "$row: printed not one line but [$printed]"
        [[ $printed == "$expected"* ]] || Fail "$row: printed [$printed], not [$expected...]"
        [ "$(DistState)" = "$before" ] || Fail "$row: dist/ changed: $(ls -A "$tree/dist")"
    done
}

if ! declare -F "Case_$case" >/dev/null; then
    echo "unknown case $case" >&2
    exit 2
fi
mkdir -p "$work"
"Case_$case"
[ "$failures" -eq 0 ] && echo "passed: $case"
[ "$failures" -eq 0 ]

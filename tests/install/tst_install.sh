#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop and a
# packager see there: the file list, the menu entry, the metainfo, the manual
# pages, the completion and the programs themselves.
# Usage: tst_install.sh BUILD_DIR EXPECTED_FILES DESKTOP_ID VERSION
set -uo pipefail

build=$1 expected=$2 id=$3 version=$4
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

check_file_list() {
    diff -u <(sed "s/@ID@/$id/" "$expected") <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) \
        || fail "installed files differ from $expected (- expected, + installed)"
}

is_elf() {
    [ "$(head -c 4 "$1" | tr -d '\000')" = $'\177ELF' ]
}

check_no_build_paths() {
    local file
    while IFS= read -r file; do
        if is_elf "$file"; then
            readelf -d "$file" | grep -E 'RPATH|RUNPATH' | grep -qF "$build" && fail "$file loads libraries from the build folder"
        else
            zcat -f "$file" | grep -qF "$build" && fail "$file names the build folder"
        fi
    done < <(find "$prefix" -type f)
}

check_versions() {
    local program
    for program in mosscatch mosscatch-cli mosscatch-photosite; do
        [ "$("$prefix/bin/$program" --version | head -n1 | tr '[:upper:]' '[:lower:]')" = "$program $version" ] \
            || fail "$program --version does not say $program $version"
        "$prefix/bin/$program" --version | grep -q '^Licence: GPL-3.0-or-later' \
            || fail "$program --version does not state the licence"
    done
}

check_validators() {
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate rejects the menu entry"
    else
        echo "skipped: desktop-file-validate is not installed"
    fi
    if command -v appstreamcli >/dev/null; then
        appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "appstreamcli rejects the metainfo"
    else
        echo "skipped: appstreamcli is not installed"
    fi
}

# Every option a program's --help lists must have its own entry in the
# manual page's OPTIONS, and the command line's also be completed.
options_of() {
    "$prefix/bin/$1" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u
}

# The tags of the OPTIONS section: the lines indented by exactly seven columns.
documented_options() {
    LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l -Tutf8 "$1" 2>/dev/null | col -bx \
        | awk '/^[A-Z]/ { inOptions = ($0 == "OPTIONS") } inOptions && /^       [^ ]/' \
        | grep -oE -- '--[a-z][a-z-]*' | sort -u
}

check_manual_pages() {
    local program page warnings documented option
    for program in mosscatch mosscatch-cli mosscatch-photosite; do
        page=$prefix/share/man/man1/$program.1.gz
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$program(1) renders with warnings: $warnings"
        documented=$(documented_options "$page")
        for option in $(options_of "$program"); do
            grep -qx -- "$option" <<<"$documented" || fail "$program(1) has no entry for $option"
        done
    done
}

completions_after() {
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _mosscatch_cli; printf "%s\n" "${COMPREPLY[@]}"' \
        _ "$prefix/share/bash-completion/completions/mosscatch-cli" mosscatch-cli "$@"
}

check_completion() {
    local offered option
    offered=$(completions_after --)
    for option in $(options_of mosscatch-cli); do
        grep -qx -- "$option" <<<"$offered" || fail "bash completion does not offer $option"
    done
    [ "$(completions_after --max-images m)" = max ] || fail "bash completion does not offer max after --max-images"
}

if ! command -v man >/dev/null; then
    echo "FAIL: man is not installed (scripts/install-deps installs it)"
    exit 1
fi
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
check_file_list
check_no_build_paths
check_versions
check_validators
check_manual_pages
check_completion
[ "$failures" -eq 0 ] && echo "PASS: installed tree, menu entry, metainfo, manual pages and completion" 
exit $((failures > 0))

#!/bin/sh
# Every executable the build makes finds its libraries in the system's folders or beside
# itself, never through the current directory: no RUNPATH or RPATH entry may be empty (the
# loader reads it as ".") or relative.
set -eu
build=$1
fail() { echo "tst_runpath.sh: $*" >&2; exit 1; }
command -v readelf >/dev/null 2>&1 || fail "readelf is missing: install binutils"
checked=0
for file in $(find "$build" -type f -perm -u+x ! -path '*/CMakeFiles/*' | LC_ALL=C sort); do
    [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    checked=$((checked + 1))
    paths=$(readelf -d "$file" | sed -n 's/.*(R[UN]*PATH).*\[\(.*\)\]$/\1/p')
    [ -n "$paths" ] || continue
    # A leading, trailing or doubled ":" is an empty entry.
    case ":$paths:" in *::*) fail "$file: empty RUNPATH entry in [$paths]" ;; esac
    for entry in $(echo "$paths" | tr ':' ' '); do
        case $entry in
        /* | '$ORIGIN' | '$ORIGIN/'* | '${ORIGIN}' | '${ORIGIN}/'*) ;;
        *) fail "$file: relative RUNPATH entry $entry in [$paths]" ;;
        esac
    done
done
[ "$checked" -gt 0 ] || fail "no executable found under $build"
echo "$checked executables: no empty or relative RUNPATH entry"

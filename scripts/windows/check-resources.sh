#!/usr/bin/env bash
# Lists what each Windows program embeds, and fails unless it has the program icon at 16, 32 and
# 48 pixels, a version resource naming VERSION, and a manifest declaring Windows 10/11 and
# per-monitor DPI awareness.
#   check-resources.sh VERSION PROGRAM.exe...
set -euo pipefail
version=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
keys='CompanyName|FileDescription|FileVersion|InternalName|LegalCopyright|OriginalFilename|ProductName|ProductVersion'

# The version resource's strings as "Key: value" lines. Each key is UTF-16 after three header
# words and padding, and its value is the next non-empty string.
version_strings() {
    wrestool -x --raw -t16 "$1" | iconv -f UTF-16LE -t UTF-8 | tr '\0' '\n' |
        awk -v keys="($keys)\$" '
            key != "" && $0 != "" { print key ": " $0; key = ""; next }
            match($0, keys) { key = substr($0, RSTART) }'
}

failed=0
fail() {
    echo "$program: $*" >&2
    failed=1
}
for program in "$@"; do
    echo "${program##*/}:"
    wrestool -x -t14 -o "$work/icon.ico" "$program" 2>/dev/null || true
    sizes=$( (icotool -l "$work/icon.ico" 2>/dev/null || true) |
        sed -n 's/.*--width=\([0-9]*\).*--bit-depth=\([0-9]*\).*/\1/p' | sort -n | paste -sd ' ')
    echo "  icon sizes: ${sizes:-none}"
    [[ $sizes == "16 32 48" ]] || fail "the icon has sizes '${sizes}', not 16 32 48"
    rm -f "$work/icon.ico"

    version_strings "$program" >"$work/version.txt" || true
    sed 's/^/  /' "$work/version.txt"
    for key in FileVersion ProductVersion; do
        grep -qx "$key: $version" "$work/version.txt" || fail "$key is not $version"
    done
    LC_ALL=C grep -q '^FileDescription: .*[^ -~]' "$work/version.txt" ||
        fail "the description is not in Chinese"

    wrestool -x --raw -t24 "$program" >"$work/manifest.xml" 2>/dev/null || true
    echo "  manifest: $(grep -c . "$work/manifest.xml") lines, $(grep -o 'supportedOS Id="[^"]*"' \
        "$work/manifest.xml" | paste -sd ' '), $(grep -o '<dpiAwareness[^>]*>[^<]*' \
        "$work/manifest.xml" | sed 's/.*>//')"
    # Windows 10 and 11 share one compatibility GUID.
    grep -q 'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' "$work/manifest.xml" ||
        fail "the manifest does not declare Windows 10/11"
    grep -q '>PerMonitorV2, PerMonitor</dpiAwareness>' "$work/manifest.xml" ||
        fail "the manifest does not declare per-monitor DPI awareness"
done
exit $failed

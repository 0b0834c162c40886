#!/usr/bin/env bash
# Fails unless every DLL that a program or DLL of FOLDER imports is in FOLDER itself or is one of
# Windows' own. Wine's built-in DLLs stand for Windows' own, less the redistributables that a
# Windows installation does not carry.
#   check-imports.sh FOLDER
set -euo pipefail
folder=$1
windows_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
missing=0
while IFS= read -r -d '' binary; do
    while IFS= read -r dll; do
        lower=${dll,,}
        [[ -n $(find "$folder" -maxdepth 1 -iname "$dll" -print -quit) ]] && continue
        if [[ -f $windows_dlls/$lower && ! $lower =~ ^(msvcp|msvcr[0-9]|vcruntime|d3dx|d3dcompiler_|xinput1_[12]|xaudio2_[0-7]) ]]; then
            continue
        fi
        [[ $lower == api-ms-win-* ]] && continue
        echo "${binary#"$folder"/} needs $dll, which is neither in the folder nor Windows' own" >&2
        missing=1
    done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^[[:space:]]*DLL Name: //p')
done < <(find "$folder" -iname '*.exe' -print0 -o -iname '*.dll' -print0)
exit $missing

#!/usr/bin/env bash
# Gathers both programs with exactly the DLLs and plugins they load, stripped, into a portable
# folder, and writes that one folder as a zip and as an NSIS installer, named as the build's CMake
# says (build-windows/QuarnSQL2000-1.0-win64.zip and …-setup.exe).
#   package.sh WINDOWS_BUILD QT_FOR_WINDOWS
set -euo pipefail
build=$(realpath "$1")
qt=$(realpath "$2")
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=/dev/null
source "$build/windows-package.sh"
stage=$build/package/$package
search=("$qt/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)

rm -rf "$build/package"
mkdir -p "$stage/platforms" "$stage/styles"
cp "$build/src/quarn-sql-restore.exe" "$build/src/cli/quarn-sql-restore-cli.exe" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"

# Follows the import tables from the programs and plugins, copying each DLL found in the search
# folders; the others are Windows' own (scripts/windows/check-imports.sh holds them to that).
queue=("$stage"/*.exe "$stage"/platforms/*.dll "$stage"/styles/*.dll)
while [[ ${#queue[@]} -gt 0 ]]; do
    binary=${queue[0]}
    queue=("${queue[@]:1}")
    while IFS= read -r dll; do
        [[ -e $stage/$dll ]] && continue
        for folder in "${search[@]}"; do
            if [[ -f $folder/$dll ]]; then
                cp "$folder/$dll" "$stage/"
                queue+=("$stage/$dll")
                break
            fi
        done
    done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
find "$stage" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded
cp "$build/README.txt" "$stage/"

bash "$repo/scripts/windows/check-imports.sh" "$stage"

rm -f "$build/$package.zip" "$build/$package-setup.exe"
(cd "$build/package" && zip -q -r -9 -X "$build/$package.zip" "$package")

# The uninstaller removes these files and then their folders, deepest first, if empty.
files=$build/package/uninstall-files.nsh
{
    (cd "$stage" && find . -type f | sort) | while IFS= read -r file; do
        file=${file#./}
        printf 'Delete "$INSTDIR\\%s"\n' "${file//\//\\}"
    done
    (cd "$stage" && find . -mindepth 1 -type d | sort -r) | while IFS= read -r folder; do
        folder=${folder#./}
        printf 'RMDir "$INSTDIR\\%s"\n' "${folder//\//\\}"
    done
} >"$files"
makensis -V2 -INPUTCHARSET UTF8 -DSOURCE="$stage" -DOUTFILE="$build/$package-setup.exe" \
    -DFILES="$files" -DICON="$repo/src/resources/program.ico" -DPRODUCT="$product" \
    -DPRODUCT_NAME="$product_name" -DPUBLISHER="$publisher" -DVERSION="$version" \
    "$repo/packaging/windows/installer.nsi"

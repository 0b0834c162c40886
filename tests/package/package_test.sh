#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian where installed, unpacks it into a temporary
# root and starts both programs from there.
set -euo pipefail
build=$1
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is missing"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
package=$(ls "$work"/out/*.deb)
echo "package: $(basename "$package")"

depends=$(dpkg-deb -f "$package" Depends)
echo "Depends: $depends"
for needed in libqt6widgets6 libodbc tdsodbc fonts-noto-cjk; do
    [[ $depends == *"$needed"* ]] || { echo "FAIL: Depends lacks $needed"; exit 1; }
done

if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$package" 2>/dev/null || { echo "FAIL: lintian finds faults"; exit 1; }
    echo "lintian: no errors or warnings"
else
    echo "lintian is missing: the package's conformance is not checked"
fi

dpkg-deb -x "$package" "$work/root"
for file in usr/bin/quarn-sql-restore usr/bin/quarn-sql-restore-cli \
    usr/share/applications/quarn-sql-restore.desktop \
    usr/share/icons/hicolor/32x32/apps/quarn-sql-restore.png \
    usr/share/man/man1/quarn-sql-restore.1.gz usr/share/man/man1/quarn-sql-restore-cli.1.gz \
    usr/share/doc/quarn-sql-restore/copyright usr/share/doc/quarn-sql-restore/changelog.gz; do
    [[ -e $work/root/$file ]] || { echo "FAIL: $file is not in the package"; exit 1; }
done

"$work/root/usr/bin/quarn-sql-restore-cli" --help | grep -q 'Usage' ||
    { echo "FAIL: the packaged command line does not start"; exit 1; }

# The window runs until it is closed: still running after three seconds means it started.
status=0
timeout 3 "$work/root/usr/bin/quarn-sql-restore" >"$work/window.log" 2>&1 || status=$?
if [[ $status -ne 124 ]]; then
    echo "FAIL: the packaged window program ended with status $status"
    cat "$work/window.log"
    exit 1
fi
echo "the packaged programs start"

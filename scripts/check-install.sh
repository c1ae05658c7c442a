#!/usr/bin/env bash
# CI's packaging check. From a clean build-package/: a Release build without tests and
# without warnings as errors, installed into a scratch prefix whose file list is checked;
# the desktop file, metainfo, man pages and completion are validated; the two Debian packages
# are built (quillfen-cli, without Qt; quillfen, the dialog, depending on it), lintian must
# report no error on either, and quillfen-cli must run from its unpacked package.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-package
rm -rf "$build"
scripts/package.sh "$build"
deb=$(ls "$build"/packages/quillfen-cli_*.deb)
dialog_deb=$(ls "$build"/packages/quillfen_*.deb)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0
check() {  # name, command...
    local name=$1
    shift
    if "$@" >"$scratch/out" 2>&1; then
        passed=$((passed + 1))
        echo "check-install: ok: $name"
    else
        failed=$((failed + 1))
        echo "check-install: FAILED: $name" >&2
        sed 's/^/    /' "$scratch/out" >&2
    fi
}

configures_without_test_libraries() {
    cmake -S . -B "$scratch/no-tests" -DBUILD_TESTING=OFF \
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
}
check "BUILD_TESTING=OFF needs neither GoogleTest nor Google Benchmark" configures_without_test_libraries

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cat >"$scratch/expected" <<'LIST'
bin/quillfen
bin/quillfen-cli
share/applications/quillfen.desktop
share/bash-completion/completions/quillfen-cli
share/doc/quillfen-cli/README.md
share/doc/quillfen-cli/benchmarks.md
share/doc/quillfen-cli/changelog.gz
share/doc/quillfen-cli/cluster.md
share/doc/quillfen-cli/copyright
share/doc/quillfen-cli/orx-format.md
share/doc/quillfen-cli/report.md
share/doc/quillfen/changelog.gz
share/doc/quillfen/copyright
share/icons/hicolor/16x16/apps/quillfen.png
share/icons/hicolor/24x24/apps/quillfen.png
share/icons/hicolor/256x256/apps/quillfen.png
share/icons/hicolor/32x32/apps/quillfen.png
share/icons/hicolor/48x48/apps/quillfen.png
share/man/man1/quillfen-cli.1.gz
share/man/man1/quillfen.1.gz
share/metainfo/org.quillfen.Quillfen.metainfo.xml
LIST
(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$scratch/installed"
check "installed file list" diff -u "$scratch/expected" "$scratch/installed"
check "installed programs are executable" test -x "$prefix/bin/quillfen" -a -x "$prefix/bin/quillfen-cli"
check "desktop-file-validate" desktop-file-validate "$prefix/share/applications/quillfen.desktop"
check "appstreamcli validate" appstreamcli validate --no-net \
    "$prefix/share/metainfo/org.quillfen.Quillfen.metainfo.xml"
man_clean() {  # the page formats without a warning (bar line filling, as lintian does)
    local warnings
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null |
        grep -vE "cannot adjust line|can't break line" || true)
    [ -z "$warnings" ] || { echo "$warnings"; return 1; }
}
for page in quillfen quillfen-cli; do
    check "man page $page(1)" man_clean "$prefix/share/man/man1/$page.1.gz"
done
cli_page_lists() {  # quillfen-cli(1) has a section on every command
    local text command
    text=$(MANWIDTH=200 man -l "$prefix/share/man/man1/quillfen-cli.1.gz" 2>/dev/null)
    for command in convert info synth; do
        grep -q "quillfen-cli $command \[OPTIONS\]" <<<"$text" || { echo "no section on $command"; return 1; }
    done
}
check "quillfen-cli(1) covers each command" cli_page_lists
check "bash completion against the installed program" \
    packaging/check-completion.sh "$prefix/bin/quillfen-cli" "$prefix/share/bash-completion/completions/quillfen-cli"

for package in "$deb" "$dialog_deb"; do
    name=$(dpkg-deb -f "$package" Package)
    lintian_status=0
    lintian --fail-on error --display-info --tag-display-limit 0 "$package" >"$scratch/lintian" 2>&1 || lintian_status=$?
    grep -v 'running with root privileges' "$scratch/lintian" | sed "s/^/    lintian $name: /" || true
    check "lintian reports no error on $name" test "$lintian_status" -eq 0 -a -z "$(grep '^E:' "$scratch/lintian")"
    check "$name licence" grep -qx "./usr/share/doc/$name/copyright" <(dpkg-deb -c "$package" | awk '{print $6}')
done
check "package Depends found by dpkg-shlibdeps" grep -q 'libtiff6' <(dpkg-deb -f "$deb" Depends)
no_qt() {  # quillfen-cli, for cluster nodes, pulls in no Qt and holds no dialog
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    # The listing is read whole: grep -q's early exit would end dpkg-deb by a broken pipe, which
    # pipefail reports as the failure that the ! then turns into a pass.
    ! grep -qi 'qt' <<<"$depends" && ! dpkg-deb -c "$deb" | grep -E '/usr/bin/quillfen$|applications|icons' >/dev/null
}
check "quillfen-cli needs no Qt" no_qt
dialog_needs_cli() {
    local depends
    depends=$(dpkg-deb -f "$dialog_deb" Depends)
    echo "Depends: $depends"
    grep -q "quillfen-cli (= $(dpkg-deb -f "$deb" Version))" <<<"$depends" && grep -qi 'libqt6widgets' <<<"$depends" &&
        ! dpkg-deb -c "$dialog_deb" | grep '/usr/bin/quillfen-cli$' >/dev/null
}
check "quillfen depends on quillfen-cli and holds the dialog only" dialog_needs_cli
takes_over() {  # an upgrade from the one package before the split replaces, never clashes
    local version
    version=$(dpkg-deb -f "$deb" Version)
    [ "$(dpkg-deb -f "$deb" Breaks)" = "quillfen (<< $version)" ] &&
        [ "$(dpkg-deb -f "$deb" Replaces)" = "quillfen (<< $version)" ] &&
        dpkg --compare-versions "$version" gt 1.0.0.1
}
check "quillfen-cli takes the command line over from the single package of 1.0.0.1" takes_over
root=$scratch/root
dpkg -x "$deb" "$root"
version_runs() {
    local version
    version=$(env -u LD_LIBRARY_PATH "$root/usr/bin/quillfen-cli" --version)
    local packaged
    packaged=$(dpkg-deb -f "$deb" Version)
    # The package's version is the program's, and after "+" the packaging's round.
    [ "$version" = "${packaged%%+*}" ] || { echo "--version says '$version', the package $packaged"; return 1; }
}
check "quillfen-cli --version from the unpacked package" version_runs
converts() {
    local cli=$root/usr/bin/quillfen-cli work=$scratch/work
    mkdir -p "$work"
    "$cli" synth --frames 2 "$work/beam.orx"
    "$cli" convert --kind color-bmp --settle-ms 0 --quiet "$work"
    test -s "$work/beam.bmp" -a -s "$work/beam1.bmp"
}
check "quillfen-cli converts from the unpacked package" converts

echo "packages: $deb $dialog_deb"
echo "check-install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

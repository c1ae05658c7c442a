#!/usr/bin/env bash
# The Windows x64 cross build (`make windows`): builds quillfen.exe, quillfen-cli.exe and the test programs
# with MinGW-w64 (cmake/mingw-w64-x86_64.cmake), runs the tests under wine and packs
# build-windows/quillfen-<version>-windows-x64.zip (quillfen.exe, quillfen-cli.exe,
# packaging/README-windows.md as README.md, LICENSE), reproducibly: a second link and pack
# must give the same bytes. The dialog's test runs under wine on an Xvfb server.
#
# In build-windows/:
#   deps/prefix        libtiff (static, with deflate and zstd, C-runtime I/O), zstd, libdeflate,
#                      GoogleTest, CLI11 and nlohmann-json for the Windows target; each is
#                      built once and kept (delete deps/ to rebuild them)
#   deps/apt-source    Debian's source packages of libtiff, zstd and libdeflate, fetched here
#   deps/build, deps/src   their build trees and unpacked sources
#   quillfen           the project's build tree
#   wineprefix         wine's prefix, kept between runs (its first start takes a while)
#
# Installs what it needs from Debian's packages (QUILLFEN_WINDOWS=1 scripts/install-deps.sh);
# when the cross compiler or wine cannot be installed it says so and exits 0 (skipped).
# The sources it compiles are Debian's source packages, which it fetches itself (below); zlib
# is Debian's MinGW build of it.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
out=$repo/build-windows
deps=$out/deps
prefix=$deps/prefix
toolchain=$repo/cmake/mingw-w64-x86_64.cmake
jobs=${JOBS:-$(nproc)}
triplet=x86_64-w64-mingw32
started=$SECONDS

say() { echo "build-windows: $*" >&2; }
phase_started=$SECONDS
phase() {  # phase NAME: says what starts now and starts its clock
  echo "build-windows: $1" >&2
  phase_started=$SECONDS
}
phase_done() { say "$1 took $((SECONDS - phase_started)) s"; }

# --- Packages -----------------------------------------------------------------------------
# Debian 12 puts the 64-bit wine loader in /usr/lib/wine (wine64 is not on PATH there).
wine_loader() {
  command -v wine64 2>/dev/null && return
  [ -x /usr/lib/wine/wine64 ] && { echo /usr/lib/wine/wine64; return; }
  return 1
}
windows_tools_missing() {
  local missing=()
  command -v $triplet-g++-posix >/dev/null || missing+=($triplet-g++-posix)
  wine_loader >/dev/null || missing+=(wine64)
  command -v wineserver >/dev/null || missing+=(wineserver)
  echo "${missing[*]:-}"
}
if ! QUILLFEN_WINDOWS=1 scripts/install-deps.sh; then
  missing=$(windows_tools_missing)
  if [ -n "$missing" ]; then
    say "skipped: the Debian packages for the Windows build could not be installed (missing: $missing)"
    exit 0
  fi
  say "some packages could not be installed; the cross compiler and wine are there, going on"
fi
missing=$(windows_tools_missing)
[ -z "$missing" ] || { say "missing after the install: $missing"; exit 1; }
wine=$(wine_loader)

# A dependency is rebuilt only when what it is built from changes: its stamp holds a
# description of the inputs (versions, options, the toolchain file's hash).
toolchain_id="$(sha256sum "$toolchain" | cut -c1-16) $($triplet-g++-posix -dumpversion)"
up_to_date() { [ -f "$deps/stamp-$1" ] && [ "$(cat "$deps/stamp-$1")" = "$2" ]; }
mark_built() { echo "$2" >"$deps/stamp-$1"; }
mkdir -p "$prefix"

deps_started=$SECONDS

# --- Sources: Debian's source packages, fetched by this script ------------------------------
# A private sources list for the main archive (the security suite serves no sources here) and
# apt's lists and cache under deps/apt: the machine's own configuration is neither read nor
# changed, and it works without source lines in /etc/apt. apt checks each file against the
# archive's signed index. Fetched once; delete deps/apt-source to fetch again.
debian_sources=(tiff libzstd libdeflate)
fetch_sources() {
  local apt=$deps/apt missing=()
  for package in "${debian_sources[@]}"; do
    compgen -G "$deps/apt-source/${package}_*.dsc" >/dev/null || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return
  phase "fetching Debian's source packages: ${missing[*]}"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$deps/apt-source"
  cat >"$apt/sources.sources" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  local options=(-o "Dir::Etc::SourceList=$apt/sources.sources" -o Dir::Etc::SourceParts=/nonexistent
                 -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o APT::Sandbox::User=root -q)
  apt-get "${options[@]}" update >"$apt/update.log" 2>&1 \
    || { say "apt-get update with the private sources list failed (build-windows/deps/apt/update.log)"; exit 1; }
  (cd "$deps/apt-source" && apt-get "${options[@]}" source --download-only "${missing[@]}") >"$apt/source.log" 2>&1 \
    || { say "apt-get source ${missing[*]} failed (build-windows/deps/apt/source.log)"; exit 1; }
  phase_done "fetching sources"
}
fetch_sources
source_dsc() {  # source_dsc PACKAGE: the one .dsc of that source package
  local dscs
  shopt -s nullglob
  dscs=("$deps/apt-source/$1"_*.dsc)
  shopt -u nullglob
  [ ${#dscs[@]} -eq 1 ] || { say "expected one $1_*.dsc in build-windows/deps/apt-source, found ${#dscs[@]}"; exit 1; }
  echo "${dscs[0]}"
}

# build_cmake_dep NAME PACKAGE SUBDIR [CMAKE OPTIONS...]: unpacks the source package, builds
# it static for Windows and installs it into the prefix; skipped while its stamp matches.
build_cmake_dep() {
  local name=$1 dsc
  dsc=$(source_dsc "$2")
  local subdir=$3
  shift 3
  local id
  id="$(basename "$dsc") $* $toolchain_id"
  if up_to_date "$name" "$id"; then
    say "$name: up to date"
    return
  fi
  phase "$name: building $(basename "$dsc" .dsc) for Windows"
  rm -rf "$deps/src/$name" "$deps/build/$name"
  mkdir -p "$deps/src"
  dpkg-source --no-check -x "$dsc" "$deps/src/$name" >/dev/null
  cmake -S "$deps/src/$name/$subdir" -B "$deps/build/$name" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib "$@" >"$deps/$name-configure.log" 2>&1 \
    || { say "$name: cmake failed (build-windows/deps/$name-configure.log)"; exit 1; }
  cmake --build "$deps/build/$name" -j "$jobs" >"$deps/$name-build.log" 2>&1 \
    || { say "$name: the build failed (build-windows/deps/$name-build.log)"; exit 1; }
  cmake --install "$deps/build/$name" >/dev/null
  mark_built "$name" "$id"
  phase_done "$name"
}

# --- The codecs' libraries: zlib is Debian's MinGW package (libz-mingw-w64-dev); zstd and
# libdeflate are built from their source packages, static, as the Linux build links them.
[ -f /usr/$triplet/lib/libz.a ] || { say "no MinGW zlib: install libz-mingw-w64-dev"; exit 1; }
build_cmake_dep zstd libzstd build/cmake -DZSTD_BUILD_STATIC=ON -DZSTD_BUILD_SHARED=OFF \
  -DZSTD_BUILD_PROGRAMS=OFF -DZSTD_BUILD_TESTS=OFF -DZSTD_BUILD_CONTRIB=OFF -DZSTD_MULTITHREAD_SUPPORT=OFF \
  -DZSTD_LEGACY_SUPPORT=OFF
# libdeflate 1.14 builds with its own Makefile, which names the static library for MSVC
# (libdeflatestatic.lib); it goes into the prefix as libdeflate.a, with its .pc file.
libdeflate_dsc=$(source_dsc libdeflate)
libdeflate_id="$(basename "$libdeflate_dsc") $toolchain_id"
if up_to_date libdeflate "$libdeflate_id"; then
  say "libdeflate: up to date"
else
  phase "libdeflate: building $(basename "$libdeflate_dsc" .dsc) for Windows"
  rm -rf "$deps/src/libdeflate"
  dpkg-source --no-check -x "$libdeflate_dsc" "$deps/src/libdeflate" >/dev/null
  libdeflate_version=$(sed -n 's/^Version: \([0-9.]*\).*/\1/p' "$libdeflate_dsc")
  make -C "$deps/src/libdeflate" -j "$jobs" CC="${CMAKE_C_COMPILER_LAUNCHER:+$CMAKE_C_COMPILER_LAUNCHER }$triplet-gcc-posix" \
    AR=$triplet-ar libdeflatestatic.lib >"$deps/libdeflate-build.log" 2>&1 \
    || { say "libdeflate: the build failed (build-windows/deps/libdeflate-build.log)"; exit 1; }
  mkdir -p "$prefix/include" "$prefix/lib/pkgconfig"
  cp "$deps/src/libdeflate/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
  cp "$deps/src/libdeflate/libdeflate.h" "$prefix/include/"
  cat >"$prefix/lib/pkgconfig/libdeflate.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: libdeflate
Description: Fast implementation of DEFLATE, zlib, and gzip
Version: $libdeflate_version
Libs: -L\${libdir} -ldeflate
Cflags: -I\${includedir}
PC
  mark_built libdeflate "$libdeflate_id"
  phase_done libdeflate
fi

# --- libtiff: static, with deflate (through libdeflate, as Debian's) and zstd, C-runtime I/O --
# win32-io=OFF: with Win32 I/O, TIFFFdOpen takes the C runtime's descriptor for a Win32
# handle and every write fails. The codecs no output uses stay off.
build_cmake_dep libtiff tiff . \
  -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
  -Dtiff-deprecated=OFF -Dtiff-opengl=OFF -Dcxx=OFF -Dwin32-io=OFF \
  -Dzlib=ON -Dlibdeflate=ON -Dpixarlog=OFF -Djpeg=OFF -Dold-jpeg=OFF -Djpeg12=OFF \
  -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=ON -Dwebp=OFF
for codec in ZIP_SUPPORT LIBDEFLATE_SUPPORT ZSTD_SUPPORT; do
  # grep reads the files itself: `cat | grep -q` fails under pipefail whenever grep's early
  # exit leaves cat writing into a closed pipe.
  grep -q "define $codec 1" "$deps/build/libtiff/libtiff/tif_config.h" "$deps/build/libtiff/libtiff/tiffconf.h" \
    || { say "libtiff was configured without $codec (build-windows/deps/libtiff-configure.log)"; exit 1; }
done

# --- GoogleTest, from the sources Debian ships in /usr/src/googletest --------------------
gtest_id="googletest $(dpkg-query -W -f='${Version}' googletest) $toolchain_id"
if up_to_date googletest "$gtest_id"; then
  say "googletest: up to date"
else
  phase "googletest: building for Windows"
  rm -rf "$deps/build/googletest"
  cmake -S /usr/src/googletest -B "$deps/build/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$deps/build/googletest" -j "$jobs" >/dev/null
  cmake --install "$deps/build/googletest" >/dev/null
  mark_built googletest "$gtest_id"
  phase_done googletest
fi

# --- CLI11 and nlohmann-json: header-only; their headers and CMake package files are copied
# into the prefix, so the cross build never gets the build machine's /usr/include.
headers_id=""
for p in libcli11-dev nlohmann-json3-dev; do headers_id+="$p $(dpkg-query -W -f='${Version}' $p) "; done
if up_to_date headers "$headers_id"; then
  say "CLI11, nlohmann-json: up to date"
else
  for p in libcli11-dev nlohmann-json3-dev; do
    dpkg-query -L $p | grep -E '^/usr/(include|share/cmake|lib/cmake)/' | while read -r f; do
      [ -f "$f" ] || continue
      mkdir -p "$prefix/$(dirname "${f#/usr/}")"
      cp "$f" "$prefix/${f#/usr/}"
    done
  done
  mark_built headers "$headers_id"
  say "CLI11, nlohmann-json: copied into the prefix"
fi
say "dependencies ready in $((SECONDS - deps_started)) s"

# --- The project ---------------------------------------------------------------------------
build=$out/quillfen
phase "configuring"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DQUILLFEN_GUI=OFF -DQUILLFEN_MANPAGES=OFF -DQUILLFEN_WERROR=ON \
  -DQUILLFEN_BENCH=OFF >/dev/null
phase_done "configure"
phase "building"
cmake --build "$build" -j "$jobs"
phase_done "build"
exe=$build/src/cli/quillfen-cli.exe
dialog=$build/src/app_win/quillfen.exe

# --- wine: one server for the whole run, stopped however the script ends -----------------
# wineboot's background services (services.exe, winedevice.exe, ...) keep the descriptors
# of the process that started them: started here with /dev/null, they never hold ctest's
# pipe open, which would make the run hang. DISPLAY is dropped so that nothing opens a window.
export WINEPREFIX=$out/wineprefix WINEARCH=win64 WINEDEBUG=-all WINELOADER=$wine
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"
phase "starting wine ($wine)"
wineserver -k >/dev/null 2>&1 || true  # a server of an earlier, killed run of this prefix
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# mscoree and mshtml off: no prompt for wine's .NET and HTML engines, which nothing here needs.
WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >/dev/null 2>&1
phase_done "wine start"

# The programs need Windows' own DLLs only (everything else is linked statically).
system32=$WINEPREFIX/drive_c/windows/system32
for program in "$exe" "$dialog"; do
  foreign=()
  for dll in $($triplet-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p'); do
    [ -n "$(find "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ] || foreign+=("$dll")
  done
  if [ ${#foreign[@]} -gt 0 ]; then
    say "$(basename "$program") needs DLLs that are not Windows' own: ${foreign[*]}"
    exit 1
  fi
done

phase "testing under wine"
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300
phase_done "tests"

# --- The dialog, driven in-process under wine on an X server of its own ------------------
# The server of the tests above runs without a display; this one starts with it. The test
# writes two screenshots (during a run, after it) as BMPs; they are turned into PNGs in
# build-windows/screenshots (docs/dialog-windows-*.png are copies of them).
if command -v Xvfb >/dev/null; then
  phase "the dialog test under wine with Xvfb"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  shots=$out/screenshots
  rm -rf "$shots" "$out/xvfb.display"
  mkdir -p "$shots"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$out/xvfb.display" 2>/dev/null &
  xvfb=$!
  trap 'wineserver -k >/dev/null 2>&1 || true; kill $xvfb 2>/dev/null || true' EXIT
  for _ in $(seq 100); do [ -s "$out/xvfb.display" ] && break; sleep 0.1; done
  status=0
  DISPLAY=:$(cat "$out/xvfb.display") QUILLFEN_SCREENSHOTS="Z:$shots" \
    timeout 300 "$wine" "$build/src/app_win/quillfen_dialog_win_tests.exe" >"$out/dialog-test.log" 2>&1 || status=$?
  tail -n 40 "$out/dialog-test.log" | grep -v '^\[ RUN\|^\[       OK' >&2 || true
  wineserver -k >/dev/null 2>&1 || true
  kill $xvfb 2>/dev/null || true
  [ $status -eq 0 ] || { say "the dialog test failed (exit $status; build-windows/dialog-test.log)"; exit 1; }
  for bmp in "$shots"/*.bmp; do
    [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
  done
  phase_done "dialog test"
else
  say "no Xvfb: the dialog test is skipped (QUILLFEN_WINDOWS=1 scripts/install-deps.sh installs it)"
fi

# --- The archive ---------------------------------------------------------------------------
# Reproducible: the entries in name order, their times the last commit's (SOURCE_DATE_EPOCH
# when set), fixed permissions, no extra attributes (-X), the times stored as UTC.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
name=quillfen-$version-windows-x64
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct 2>/dev/null || echo 315532800)}
programs=("$exe" "$dialog")
pack() {  # pack ZIP: the programs of this build, the Windows README and the licence
  local zip=$1 stage=$out/stage
  rm -rf "$stage" "$zip"
  mkdir -p "$stage/$name"
  cp packaging/README-windows.md "$stage/$name/README.md"
  cp LICENSE "$stage/$name/"
  for program in "${programs[@]}"; do
    # strip stamps the PE header with the time unless SOURCE_DATE_EPOCH names one
    SOURCE_DATE_EPOCH=$epoch $triplet-strip -o "$stage/$name/$(basename "$program")" "$program"
  done
  find "$stage" -type d -exec chmod 755 {} + && find "$stage" -type f -exec chmod 644 {} +
  find "$stage" -exec touch -h -d "@$epoch" {} +
  (cd "$stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -qX -@ "$zip")
  rm -rf "$stage"
}
zip=$out/$name.zip
pack "$zip"
say "$(basename "$zip"): $(stat -c %s "$zip") bytes ($(du -h "$zip" | cut -f1))"

# Two builds of one commit give the same bytes: the programs are linked a second time from
# the same objects and packed again; the programs and the archives must be identical.
phase "checking that a second link and pack are byte-identical"
mkdir -p "$out/first"
for program in "${programs[@]}"; do cp "$program" "$out/first/"; rm -f "$program"; done
cmake --build "$build" -j "$jobs" --target $(for p in "${programs[@]}"; do basename "$p" .exe; done) >/dev/null
pack "$out/second.zip"
differ=()
for program in "${programs[@]}"; do
  cmp -s "$program" "$out/first/$(basename "$program")" || differ+=("$(basename "$program")")
done
cmp -s "$zip" "$out/second.zip" || differ+=("$(basename "$zip")")
rm -rf "$out/first" "$out/second.zip"
if [ ${#differ[@]} -gt 0 ]; then
  say "not reproducible: a second build differs in ${differ[*]}"
  exit 1
fi
phase_done "reproducibility check (the programs and the zip are byte-identical)"
say "done in $((SECONDS - started)) s"

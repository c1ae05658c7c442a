#!/usr/bin/env bash
# Installs the Debian packages Quillfen needs that are not on the machine yet.
# Runs as root, or through sudo when that is available. Does nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config help2man
  libtiff-dev libtiff-tools libdeflate-dev libzstd-dev
  qt6-base-dev fonts-dejavu-core
  libgtest-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev clang-tidy bash-completion
  python3 python3-numpy python3-pil python3-tifffile
)
if [ "${QUILLFEN_PEERS:-0}" = 1 ]; then
  packages+=(imagemagick libvips-tools time)
fi
if [ "${QUILLFEN_READERS:-0}" = 1 ]; then
  # The programs scripts/check-readers.py opens our outputs with (besides tifffile and Pillow),
  # ImageJ among them (headless, on an Xvfb screen).
  packages+=(imagemagick libvips-tools gdal-bin python3-gdal imagej xvfb)
fi
if [ "${QUILLFEN_PACKAGING:-0}" = 1 ]; then
  packages+=(dpkg-dev file lintian desktop-file-utils appstream man-db)
fi
if [ "${QUILLFEN_WINDOWS:-0}" = 1 ]; then
  # The Windows x64 cross build run under wine (scripts/build-windows.sh): the compilers,
  # MinGW zlib, wine, dpkg-source for the source packages of libtiff, zstd and libdeflate, GoogleTest's sources, zip for the archive, Xvfb and xwd for the dialog test's screen and screenshots.
  packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 dpkg-dev bzip2 xz-utils googletest zip xvfb x11-apps)
fi
if [ "${QUILLFEN_SLURM:-0}" = 1 ]; then
  # One Slurm node on localhost for scripts/check-slurm.sh: the daemons and munge's keys.
  packages+=(slurm-wlm munge)
fi
if [ "${QUILLFEN_SNAKEMAKE:-0}" = 1 ]; then
  packages+=(snakemake)
fi
if [ "${QUILLFEN_FUZZ:-0}" = 1 ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

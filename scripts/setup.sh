#!/usr/bin/env bash
# Installs what the build and the tests need, from Debian's packages. Quick when all is there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev libgl-dev
  libcli11-dev
  # Recipes are TOML, read with toml++ (header-only, so the Windows build takes it too).
  libtomlplusplus-dev
  # Packaging (cpack's DEB generator reads the programs' library needs with dpkg-shlibdeps) and
  # the tests that read praxdl's JSON lines.
  dpkg-dev jq
  # The package test checks the desktop entry with desktop-file-validate and the man pages with man.
  desktop-file-utils man-db
  libfontconfig-dev fonts-dejavu-core
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
  xvfb xauth
  # The window's captions are laid out for "MS Sans Serif"; Liberation Sans has Arial's metrics
  # and stands in for it, so they fit their buttons (the GUI tests check that they do).
  fonts-liberation
  # The Windows build (mingw-w64, -posix for std::thread) and its tests under Wine.
  g++-mingw-w64-x86-64-posix wine wine64
  # The Windows program's icon, drawn from packaging/prax-download.svg at build time.
  librsvg2-bin icoutils
  # The Windows packages: the installer (makensis), the documentation as HTML (the man pages by
  # mandoc, the README's Windows section by cmark), and unzip for the test that opens the zip.
  nsis mandoc cmark unzip
  # Screenshots of the Windows window: a window manager under Xvfb, and Wine's own
  # "MS Sans Serif" for the prefix they are taken in.
  openbox fonts-wine
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: run as root or install sudo" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"

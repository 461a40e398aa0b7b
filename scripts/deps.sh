#!/usr/bin/env bash
# Installs what building and testing need on Debian 12. Skips apt when all is there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-svg-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev xauth xvfb
  libjpeg-dev libtiff-dev libgif-dev libpng-dev libwebp-dev libheif-dev libjxl-dev liblcms2-dev
  libraw-dev libsane-dev libsane1 libsane-common libfontconfig-dev libxcb1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libpappl-dev cups-ipp-utils cups-daemon cups-client cups-filters
  cups  # mime.convs, pstops and rastertopwg, without which a queue takes no PDF or text
  clang libclang-rt-14-dev
  dpkg-dev lintian desktop-file-utils appstream man-db
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kest32 need.
# Does nothing when everything is already there, so `make` can call it every time.
set -euo pipefail

packages=(
  g++ clang cmake ninja-build make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-translations-l10n qt6-qpa-plugins
  libarchive-dev liblhasa-dev
  libgl-dev libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev
  fonts-ipafont-gothic
  desktop-file-utils appstream dpkg-dev file groff-base bash-completion
  poppler-utils python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"

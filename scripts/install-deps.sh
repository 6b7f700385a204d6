#!/usr/bin/env bash
# Installs the Debian packages a target needs when they are missing.
#   scripts/install-deps.sh build|bench|screenshot
# As root: apt-get update and apt-get install of what is missing, saying what it installs.
# As another user: prints the exact apt-get line and fails.
set -euo pipefail

# Qt 6 Widgets for the windows; fonts so that offscreen window tests measure real text;
# validators for the installed desktop entry and metainfo, groff and man-db for the manual
# page, dpkg-dev (dpkg-shlibdeps) for the Debian package's dependencies.
# The media tests make and mount real file systems: FAT32, exFAT and NTFS through their FUSE
# drivers, btrfs and xfs as loop mounts, and an SFTP share through sshfs from an sshd they
# start on localhost; acl and attr let them set ACLs and extended attributes.
build_packages=(cmake ninja-build g++ make libgtest-dev qt6-base-dev libgl-dev fonts-dejavu-core
                desktop-file-utils appstream groff-base man-db dpkg-dev
                fuse3 dosfstools fusefat exfatprogs exfat-fuse ntfs-3g btrfs-progs xfsprogs
                mount util-linux sshfs openssh-server openssh-client acl attr)
# A real X server and a screen grabber for scripts/screenshot.sh.
screenshot_packages=(xvfb xauth x11-utils imagemagick xdotool)
# strace counts the requests a copy sends to an sshfs share.
bench_packages=(rsync findutils coreutils strace)

case "${1:-build}" in
  build) wanted=("${build_packages[@]}") ;;
  bench) wanted=("${build_packages[@]}" "${bench_packages[@]}") ;;
  screenshot) wanted=("${build_packages[@]}" "${screenshot_packages[@]}") ;;
  *) echo "usage: $0 build|bench|screenshot" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "Installing missing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"

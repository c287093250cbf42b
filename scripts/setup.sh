#!/usr/bin/env bash
# Installs what the build needs on Debian 12, then configures and builds into build/.
# Usage: scripts/setup.sh [--programs] [extra cmake options]
#   --programs  builds the programs only, without the tests
set -euo pipefail
cd "$(dirname "$0")/.."
targets=()
if [ "${1:-}" = --programs ]; then
    targets=(--target redodori redodori-console redodori-reg)
    shift
fi

packages=(cmake ninja-build g++ pkg-config libsqlite3-dev sqlite3 qt6-base-dev libasound2-dev fonts-liberation2 googletest libgtest-dev strace attr acl xvfb xdotool libsmbclient-dev samba samba-vfs-modules smbclient dbus gvfs gvfs-backends gvfs-fuse libavahi-client-dev avahi-daemon avahi-utils iproute2 exfatprogs exfat-fuse help2man desktop-file-utils man-db bash-completion dpkg-dev lintian xclip time locales libc-l10n qt6-translations-l10n weston qt6-wayland xfsprogs btrfs-progs ntfs-3g dosfstools fusefat fuse3 libfuse3-dev libssl-dev libxxhash-dev xxhash)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi
# German's system error texts come from the C library's catalogue in the German locale.
if ! locale -a | grep -qx 'de_DE\.utf8'; then
    $sudo sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -qx 'de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen
fi

cmake -S . -B build -G Ninja "$@"
cmake --build build -j"$(nproc)" "${targets[@]}"

#!/usr/bin/env bash
# CI's package step, after scripts/test.sh: builds the Debian package, checks it with lintian,
# installs it into the system with apt-get (which brings its dependencies), has the installed
# redodori-console copy a tree, and removes the package again. It changes the system: run it on
# a CI machine.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
rm -f build/redodori_*.deb
(cd build && cpack -G DEB)
deb=$(ls build/redodori_*.deb)
dpkg-deb --field "$deb" Package Version Depends
# Debian's own checks: an error fails the package.
lintian --fail-on error --tag-display-limit 0 "$deb"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "./$deb"
work=$(mktemp -d)
trap '$sudo dpkg -r redodori >/dev/null; rm -rf "$work"' EXIT
export REDODORI_CONFIG_DIR="$work/config" REDODORI_DATA_DIR="$work/data" XDG_RUNTIME_DIR="$work/run" \
    REDODORI_STATE_DIR="$work/state"
mkdir -p "$work/run" "$work/src/sub" && chmod 700 "$work/run"
printf 'one\n' >"$work/src/one"
head -c 100000 /dev/urandom >"$work/src/sub/two"
env -u REDODORI -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/redodori-console --verify "$work/src" \
    "$work/copy" </dev/null
diff -r "$work/src" "$work/copy/src"
man -w redodori-console >/dev/null
echo "The package $deb installs, and its redodori-console copies a tree."

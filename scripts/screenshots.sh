#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then runs a slowed copy job with the program's windows
# (off screen when there is no display) and saves PNG pictures of the progress window, both
# prompts, the shutdown countdown, the queue window, the destination chooser, the resume manager
# and a resume pop-up, and the settings dialog (whole, in both profiles, and each of its groups)
# into FOLDER/<skin>/<language>, once for each shipped skin and language file
# (FOLDER/Default/english, FOLDER/Midnight/german, ...). Each skin's pictures come from a job
# started after a job in another skin, whose end stored its window's size, as a user who has
# just changed the skin has it. Without a display the windows run on
# Xvfb when it is installed, where shaped windows get their outlines, else off screen.
# Run as root, it mounts two small RAM disks for the chooser to show (one too small
# for the job).
# Usage: scripts/screenshots.sh FOLDER
set -euo pipefail
if [ $# -ne 1 ]; then
    echo "Usage: scripts/screenshots.sh FOLDER" >&2
    exit 2
fi
out=$(realpath -m "$1")
cd "$(dirname "$0")/.."
scripts/setup.sh
work=$(mktemp -d)
mounts=()
cleanup() {
    for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
# A display of its own when there is none: shaped windows then really have their outlines.
display=()
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    display=(xvfb-run -a -s "-screen 0 1280x1024x24")
fi
# A short job in the skin $2 with the folders that the pictures' job in $1 uses: its end leaves
# that skin's window size in the store.
earlier_job() {
    local job=$1 skin=$2
    mkdir -p "$job/run" "$job/earlier"
    chmod 700 "$job/run"
    printf 'earlier\n' >"$job/earlier/file"
    (
        export REDODORI_CONFIG_DIR="$job/config" REDODORI_DATA_DIR="$job/data" \
            XDG_RUNTIME_DIR="$job/run" REDODORI_STATE_DIR="$job/state" \
            XDG_CONFIG_HOME="$job/xdg-config" REDODORI_FAKE_POWEROFF="$job/poweroff"
        build/bin/redodori-reg set-text 'SOFTWARE\DiraRedi\RedoDori\local' Skin "$skin"
        "${display[@]}" build/bin/redodori "|$job/earlier/file|$job/earlier-copy/|e" 2>/dev/null
    )
}
skins=()
for skin in data/skins/*/; do
    skins+=("$(basename "$skin")")
done
for i in "${!skins[@]}"; do
    skin=${skins[$i]}
    other=${skins[$(((i + 1) % ${#skins[@]}))]}
    for language in data/*.lng; do
        name=$(basename "$language" .lng)
        job="$work/$name"
        earlier_job "$job" "$other"
        if [ "$(id -u)" -eq 0 ]; then
            for disk in Photos:64m Small:1m; do
                mkdir -p "$job/media/${disk%%:*}"
                mount -t tmpfs -o "size=${disk##*:}" tmpfs "$job/media/${disk%%:*}" &&
                    mounts+=("$job/media/${disk%%:*}")
            done
        fi
        "${display[@]}" build/bin/redodori-screenshots "$out/$skin/$name" "$job" "$name.lng" "$skin" 2>/dev/null
        # The next language's chooser shows only its own disks.
        for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || true; done
        mounts=()
        rm -rf "$job"
    done
done
echo "Pictures of the windows are in $out, a folder for each skin and language."

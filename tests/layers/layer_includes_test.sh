#!/usr/bin/env bash
# The layers' includes: every #include "folder/..." from one top-level folder into another must
# be allowed by the table below. Prints each include that is not, as file:line, and fails.
#   layer_includes_test.sh [SOURCE_DIR]
set -uo pipefail

# A folder may include itself and the folders listed after it; "*" allows every layer.
declare -A allowed=(
    [platform]=""
    [engine]="platform"
    [settings]="platform"
    [app]="engine settings platform"
    [resume]="settings platform"
    [look]="settings platform"
    [ui]="app look engine settings platform resume"
    [program]="*"
    [console]="platform settings"
)

# Prints "file:line: includes target/..." for each include under `root` that the table does not
# allow; only includes of the layers' own folders count.
check() {
    local root=$1 folder file line text target
    local pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)/'
    for folder in "${!allowed[@]}"; do
        [ -d "$root/$folder" ] || continue
        while IFS=: read -r file line text; do
            [[ $text =~ $pattern ]] || continue
            target=${BASH_REMATCH[1]}
            [ -n "${allowed[$target]+known}" ] && [ "$target" != "$folder" ] || continue
            [ "${allowed[$folder]}" != "*" ] || continue
            [[ " ${allowed[$folder]} " == *" $target "* ]] && continue
            echo "$file:$line: $folder includes $target/"
        done < <(cd "$root" && grep -rnE "$pattern" --include='*.h' --include='*.hpp' \
            --include='*.cpp' --include='*.cc' "$folder")
    done | sort
}

# The check itself first, on a tree made for it: it must find the one include that is wrong.
fixture=$(mktemp -d) || exit 2
trap 'rm -rf "$fixture"' EXIT
mkdir -p "$fixture/engine" "$fixture/program" "$fixture/console"
printf '#include "engine/job.h"\n#include "platform/fs.h"\n  #  include "app/session.h"\n' \
    >"$fixture/engine/job.cpp"
printf '#include "ui/window.h"\n' >"$fixture/program/main.cpp"
printf '#include <string>\n#include "tests/x.h"\n#include "settings/keys.h"\n' >"$fixture/console/c.cpp"
found=$(check "$fixture")
if [ "$found" != "engine/job.cpp:3: engine includes app/" ]; then
    echo "the include check itself is wrong; on its own tree it found:"
    echo "${found:-nothing}"
    exit 1
fi

root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
found=$(check "$root")
if [ -n "$found" ]; then
    echo "$found"
    echo "$(wc -l <<<"$found") include(s) reach a folder the layer table does not allow"
    exit 1
fi
echo "every include between the layers is allowed"

#!/usr/bin/env bash
# The build tree and the installation: every program in build/bin finds the others there;
# "cmake --install" into a staging folder puts the programs, data, menu entries, icons, man
# pages, completions and file manager actions in their places; the entries pass
# desktop-file-validate, the man pages render, the bash completion completes options, and the
# installed redodori-console copies a tree with the installed program and data.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_CONSOLE:?}"
source "$(dirname "$0")/common.sh"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
bin=$(dirname "$REDODORI")
build=$(dirname "$bin")
root="$work/root"
setup mkdir -p "$work/src/sub"
printf 'one\n' >"$work/src/one"
printf 'two\n' >"$work/src/sub/two"

# In the build tree, without REDODORI, the wrapper finds the program beside it.
check_same "the programs share bin/" "$bin" "$(dirname "$REDODORI_CONSOLE")"
env -u REDODORI "$REDODORI_CONSOLE" "$work/src" "$work/built" </dev/null >/dev/null 2>&1 ||
    bad "the wrapper in bin/ did not run a job"
check "the wrapper in bin/ copied the tree" diff -r "$work/src" "$work/built/src"

DESTDIR="$root" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    setup_failed "cmake --install failed: $(tail -n 5 "$work/install.log")"
usr="$root/usr"
for f in bin/redodori bin/redodori-console bin/redodori-reg share/redodori/english.lng \
    share/applications/redodori.desktop share/applications/redodori-settings.desktop \
    share/applications/redodori-resume-manager.desktop share/icons/hicolor/scalable/apps/redodori.svg \
    share/icons/hicolor/16x16/apps/redodori.png share/icons/hicolor/256x256/apps/redodori.png \
    share/man/man1/redodori.1.gz share/man/man1/redodori-console.1.gz share/man/man1/redodori-reg.1.gz \
    share/bash-completion/completions/redodori-console share/zsh/vendor-completions/_redodori-console \
    share/kio/servicemenus/redodori.desktop share/kio/servicemenus/redodori-paste.desktop \
    share/kio/servicemenus/redodori-check.desktop share/nemo/actions/redodori-check.nemo_action \
    "share/redodori/nautilus-scripts/RedoDori Check" \
    share/nemo/actions/redodori-copy-to.nemo_action share/redodori/thunar/uca.xml \
    "share/redodori/nautilus-scripts/RedoDori Copy to…" share/doc/redodori/README.md \
    share/doc/redodori/copyright share/doc/redodori/changelog.gz share/redodori/finish.wav; do
    check "installed: $f" test -s "$usr/$f"
done
check "no test program installed" bash -c "[ \$(ls '$usr/bin' | wc -l) -eq 3 ]"
for size in 16 22 24 32 48 64 128 256; do
    check_same "the ${size}px icon is a PNG" PNG \
        "$(head -c 4 "$usr/share/icons/hicolor/${size}x$size/apps/redodori.png" | tail -c 3)"
done

if command -v desktop-file-validate >/dev/null; then
    for entry in "$usr"/share/applications/*.desktop; do
        check "desktop-file-validate ${entry##*/}: $(desktop-file-validate "$entry" 2>&1)" \
            desktop-file-validate "$entry"
    done
else
    bad "desktop-file-validate is missing (scripts/setup.sh installs desktop-file-utils)"
fi
if command -v man >/dev/null; then
    for page in "$usr"/share/man/man1/*.1.gz; do
        name=${page##*/}
        rendered=$(MANWIDTH=80 man -l "$page" 2>"$work/man.err")
        check "man -l $name renders its name and options" \
            grep -q -- "--help" <<<"$rendered"
        # One switch an item, and a note of its own rather than glued to an option.
        if [ "$name" = redodori.1.gz ]; then
            check "man -l $name lists the switches one by one" grep -Eq '^ +J +hard-link each file$' <<<"$rendered"
        fi
        if [ "$name" = redodori-console.1.gz ]; then
            check "man -l $name glues no note to an option" bash -c "! grep -q 'skip the file Without' <<<\"\$1\"" _ "$rendered"
        fi
        # The machine's locale is no matter of the page's.
        check "man -l $name: no warnings: $(cat "$work/man.err")" \
            bash -c "! grep -v locale '$work/man.err' | grep -q ."
    done
else
    bad "man is missing (scripts/setup.sh installs man-db)"
fi
setup mkdir -p "$work/names/my dir" "$work/names/mine"
setup touch "$work/names/my file"
completion=$(cd "$work/names" && bash -c 'source "$1"
COMP_WORDS=(redodori-console --no-w); COMP_CWORD=1; _redodori_console; echo "${COMPREPLY[*]}"
COMP_WORDS=(redodori-console --che); COMP_CWORD=1; _redodori_console; echo "${COMPREPLY[*]}"
COMP_WORDS=(redodori-console --profile ""); COMP_CWORD=2; _redodori_console; echo "${COMPREPLY[*]}"
COMP_WORDS=(redodori-console --to "my"); COMP_CWORD=2; _redodori_console; printf "[%s]" "${COMPREPLY[@]}"; echo
COMP_WORDS=(redodori-console "my"); COMP_CWORD=1; _redodori_console; printf "[%s]" "${COMPREPLY[@]}"; echo
COMP_WORDS=(redodori-console --manifest = ""); COMP_CWORD=3; _redodori_console; echo "${COMPREPLY[*]}"
COMP_WORDS=(redodori-console --manifest "my"); COMP_CWORD=2; _redodori_console; printf "[%s]" "${COMPREPLY[@]}"; echo
complete -p redodori-console' _ "$usr/share/bash-completion/completions/redodori-console")
check_same "bash completion" "--no-window
--check
local network
[my dir]
[my dir][my file]
xxh128 sha256
[my dir][my file]
complete -F _redodori_console redodori-console" "$completion"

# The installed wrapper runs the installed program beside it, with the installed data.
env -u REDODORI "$usr/bin/redodori-console" "$work/src" "$work/installed" </dev/null \
    >"$work/installed.out" 2>&1 || bad "the installed wrapper failed: $(cat "$work/installed.out")"
check "the installed wrapper copied the tree" diff -r "$work/src" "$work/installed/src"
finish install

#!/usr/bin/env bash
# Every file manager action that is shipped (Dolphin's service menus, Nemo's actions, Thunar's
# custom actions, Nautilus's scripts) run as its file manager runs it, on a real display: Copy
# to and Move to open the chooser and the job copies or moves into the folder typed there,
# Delete asks and deletes, Paste copies or moves what the clipboard holds, Check checks the files
# of a checksum manifest. Actions turned off in the settings do nothing and say so.
set -euo pipefail
: "${REDODORI:?}" "${REDODORI_REG:?}" "${SOURCE_DIR:?}"
source "$(dirname "$0")/common.sh"
command -v xclip >/dev/null || skip_all "needs xclip (scripts/setup.sh installs it)"
start_display
# A crash leaves a core for crash_stacks.
ulimit -c unlimited 2>/dev/null || true
export PATH="$(dirname "$REDODORI"):$PATH"
actions="$SOURCE_DIR/desktop/actions"

# Every action as "FILE|COMMAND" (a Nautilus script is run itself).
commands() {
    local f
    for f in "$actions"/dolphin/*.desktop "$actions"/nemo/*.nemo_action; do
        sed -n "s|^Exec=|${f##*/}\||p" "$f"
    done
    sed -n 's|.*<command>\(.*\)</command>.*|uca.xml\|\1|p' "$actions/thunar/uca.xml"
    for f in "$actions"/nautilus/*; do
        grep -q -- '--action' "$f" && echo "${f##*/}|$(sed -n 's/^exec \(.*\)/\1/p' "$f")"
    done
}

# Fresh selected files: sel/a and sel/dir/b, and an empty destination.
fresh() {
    rm -rf "$work/sel" "$work/dst"
    mkdir -p "$work/sel/dir" "$work/dst"
    printf 'a\n' >"$work/sel/a"
    printf 'b\n' >"$work/sel/dir/b"
}

# Runs the action's command for the selection (the names in `picked` within sel, else a and dir;
# for a paste, the destination), in the selection's folder, as the file manager would; answers
# its window with ANSWER.
run_action() {
    local file=$1 command=$2 caption=$3 answer=$4 script names
    read -r -a names <<<"${picked:-a dir}"
    if [[ "$command" == *'"$@"'* || "$command" == *'${1:-.}'* ]]; then
        script="$actions/nautilus/$file"
        if [[ "$command" == *paste* ]]; then
            (cd "$work/dst" && exec "$script") >"$work/out" 2>"$work/err" &
        else
            (cd "$work/sel" && exec "$script" "${names[@]}") >"$work/out" 2>"$work/err" &
        fi
    else
        command=${command//%F/$(printf "$work/sel/%s " "${names[@]}")}
        command=${command//%f/$work/dst}
        command=${command//%P/$work/dst}
        (cd "$work" && exec bash -c "$command") >"$work/out" 2>"$work/err" &
    fi
    local job=$!
    pids+=("$job")
    if [ -z "$caption" ]; then
        :
    elif [ -z "$(focus_window "$caption")" ]; then
        bad "$file: no window titled '$caption' for '$command': $(cat "$work/err")"
        kill "$job" 2>/dev/null || true
    else
        $answer
    fi
    wait_job "$job"
    [ "$status" -lt 128 ] || crash_stacks "$REDODORI"
}
# Files copied or cut in a file manager: xclip holds them on the clipboard (in the foreground,
# so that its pid is its own) until the next one takes it over.
own_clipboard() {
    printf "$1" | xclip -quiet -selection clipboard -t x-special/gnome-copied-files 2>/dev/null &
    pids+=($!)
    # As long as a window may take to show: a busy machine starts xclip late.
    for _ in $(seq 300); do
        xclip -o -selection clipboard -t TARGETS 2>/dev/null | grep -q gnome-copied && return
        sleep 0.1
    done
    setup_failed "xclip did not take the clipboard"
}
type_destination() { xdotool key Tab ctrl+a && xdotool type "$work/dst/" && xdotool key Return; }
# The delete question's default is No: Yes takes its key.
confirm() { xdotool key alt+y; }

seen=0
while IFS='|' read -r file command; do
    seen=$((seen + 1))
    fresh
    case $command in
        *copy-to*)
            run_action "$file" "$command" "RedoDori to\.\.\.$" type_destination
            check "$file: copied" diff -r "$work/sel" "$work/dst" ;;
        *move-to*)
            run_action "$file" "$command" "VornMove to\.\.\.$" type_destination
            check "$file: moved" test -f "$work/dst/a" -a -f "$work/dst/dir/b" -a ! -e "$work/sel/a" \
                -a ! -e "$work/sel/dir" ;;
        *delete*)
            run_action "$file" "$command" "^Confirmation$" confirm
            check "$file: deleted" test ! -e "$work/sel/a" -a ! -e "$work/sel/dir" ;;
        *paste*)
            own_clipboard "cut\nfile://$work/sel/a\nfile://$work/sel/dir"
            run_action "$file" "$command" "" true
            check "$file: cut files pasted as a move" \
                test -f "$work/dst/a" -a -f "$work/dst/dir/b" -a ! -e "$work/sel/a" ;;
        *check*)
            (cd "$work/sel" && sha256sum a dir/b >sums.sha256)
            picked=sums.sha256 run_action "$file" "$command" "" true
            # The whole of stderr, so that a failure shows what else the program said.
            expect "Check finished: 2 files good, 0 mismatched" "$(cat "$work/err")"
            check "$file: nothing changed by the check" test -f "$work/sel/a" -a -f "$work/sel/dir/b" ;;
        *) bad "$file: an action of no known kind: $command" ;;
    esac
    check_same "$file: $command: exit status" 0 "$status"
    check "$file: the list files were removed" \
        bash -c "! ls '$REDODORI_STATE_DIR'/action-* >/dev/null 2>&1"
done < <(commands)
check_same "actions checked" 20 "$seen"

# Names as they are written: the delete action for a file named "a*" beside ab and ac asks
# (Enter answers No) and then deletes a* alone; a paste into a folder named "x?y" lands there.
mkdir -p "$work/w" && printf 'star\n' >"$work/w/a*" && printf 'b\n' >"$work/w/ab" &&
    printf 'c\n' >"$work/w/ac" || setup_failed "cannot write the named files"
delete_star() {
    "$REDODORI" --action delete "$work/w/a*" >"$work/out" 2>"$work/err" &
    local job=$!
    pids+=("$job")
    if [ -z "$(focus_window "^Confirmation$")" ]; then
        bad "delete a*: no confirmation: $(cat "$work/err")"
        kill "$job" 2>/dev/null || true
    else
        xdotool key "$1"
    fi
    wait_job "$job"
}
delete_star Return
check_same "delete a*, answered with Enter: exit status" 0 "$status"
check_same "delete a*, answered with Enter: nothing deleted" "a* ab ac" "$(cd "$work/w" && echo *)"
delete_star alt+y
check_same "delete a*: exit status" 0 "$status"
check_same "delete a*: only a* deleted" "ab ac" "$(cd "$work/w" && echo *)"

fresh
paste_into() {
    own_clipboard "$1\nfile://$work/sel/a\nfile://$work/sel/dir"
    "$REDODORI" --action paste "$work/dst/x?y" >"$work/out" 2>"$work/err" &
    local job=$!
    pids+=("$job")
    wait_job "$job"
}
mkdir -p "$work/dst/x?y"
paste_into copy
check_same "paste into x?y: exit status" 0 "$status"
check "paste into x?y: copied there" diff -r "$work/sel" "$work/dst/x?y"
check_same "paste into x?y: nothing beside it" "x?y" "$(ls "$work/dst")"
rm -rf "$work/dst/x?y"/*
paste_into cut
check_same "cut into x?y: exit status" 0 "$status"
check "cut into x?y: moved there" test -f "$work/dst/x?y/a" -a -f "$work/dst/x?y/dir/b" \
    -a ! -e "$work/sel/a" -a ! -e "$work/sel/dir"
check_same "cut into x?y: nothing beside it" "x?y" "$(ls "$work/dst")"
check "paste into x?y: the list files were removed" \
    bash -c "! ls '$REDODORI_STATE_DIR'/action-* >/dev/null 2>&1"

# Without a display the question cannot be put: nothing is deleted, and the user is told.
set +e
DISPLAY= "$REDODORI" --action delete "$work/w/ab" 2>"$work/err"
status=$?
set -e
check_same "delete without a display: exit status" 1 "$status"
check_same "delete without a display: said" \
    "redodori: Nothing was deleted: --action delete asks first, and that needs a display." \
    "$(own_lines "$work/err")"
check "delete without a display: nothing deleted" test -f "$work/w/ab"

# Turned off in the settings: nothing happens, and the user is told.
key='SOFTWARE\DiraRedi\RedoDori\local'
setup "$REDODORI_REG" set-int "$key" nomenu 1
fresh
set +e
DISPLAY= "$REDODORI" --action delete "$work/sel/a" 2>"$work/err"
status=$?
set -e
check_same "turned off: exit status" 1 "$status"
check "turned off: said" grep -q "actions are turned off in its settings" "$work/err"
check "turned off: nothing deleted" test -f "$work/sel/a"
finish file_manager_actions

# bash completion for redodori-console: its options, the values some of them take, and paths.
# Paths are read one a line, so that a name with spaces stays one candidate.
_redodori_console() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    case $prev in
        --to)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return ;;
        --profile) COMPREPLY=($(compgen -W "local network" -- "$cur")); return ;;
        --names) COMPREPLY=($(compgen -W "rename skip ask" -- "$cur")); return ;;
        --limit-unit) COMPREPLY=($(compgen -W "kbps percent bps" -- "$cur")); return ;;
        --limit) COMPREPLY=($(compgen -W "16K 128K 512K 1M 2M 4M 8M 16M none" -- "$cur")); return ;;
        --limit-step | --buffer) COMPREPLY=($(compgen -W "0 1 2 3 4 5 6 7 8 9 10" -- "$cur")); return ;;
        --raw | --resume) return ;;
    esac
    # --manifest takes its value only after "=", which bash makes a word of its own.
    if [[ $prev == = && ${COMP_WORDS[COMP_CWORD - 2]} == --manifest ]]; then
        COMPREPLY=($(compgen -W "xxh128 sha256" -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--to --move --delete --link --link-tree --check --overwrite
            --skip-existing --rename-old --resume --overwrite-older --names --manifest
            --no-manifest --retry --skip-errors --give-up-after --verify --no-verify --limit
            --limit-step --limit-unit --buffer --burst --reserve --no-times --paused --profile
            --no-window --credentials --attach --wait --raw --resume-list --quiet --verbose --help --version" \
            -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _redodori_console redodori-console

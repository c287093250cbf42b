# Sourced by the hand-off tests after common.sh: what the history and a job's messages say about
# who copied a source.

history="$work/data/history.txt"
attached="redodori: Job attached to another RedoDori session"

refused() { echo "redodori: Job not attached to another RedoDori session ($1); it runs here"; }

# Every source of every history entry, one a line: "own PATH" for the first source of an entry
# (the job's own come first), "handed PATH" for the others.
history_sources() {
    [ -f "$history" ] || return 0
    tr -d '\r' <"$history" | awk '/^  From: / {
        sub(/^  From: /, ""); n = split($0, s, "?")
        for (i = 1; i < n; i++) print (i == 1 ? "own " : "handed ") s[i] }'
}

# The hand-off line of a job's stderr file: the attach line, a refusal, or nothing.
handoff_line() { grep -E '^redodori: Job (not )?attached' "$1"; }

# A g job's source was copied into `dest` exactly once, by the job its message names: one that
# says it attached has no entry of its own, one that ran by itself has.
check_sender() {
    local source=$1 dest=$2 err=$3 listing=$4 entries own
    cmp -s "$source" "$dest/$(basename "$source")" || bad "$source was not copied to $dest"
    entries=$(grep -cFx -e "own $source" -e "handed $source" <<<"$listing")
    [ "$entries" -eq 1 ] || bad "$source is in $entries history entries, not in one"
    own=$(grep -cFx "own $source" <<<"$listing")
    if [ "$(handoff_line "$err")" = "$attached" ]; then
        [ "$own" -eq 0 ] || bad "the job of $source said it attached, but ran by itself"
    else
        [ "$own" -eq 1 ] || bad "the job of $source ran by itself, but has no entry of its own"
    fi
}

# Posts WMU_CONTROL (2238) with `action` (1 abort, 3 pause or resume) to every window endpoint;
# those of ended jobs refuse it.
control() {
    local endpoint
    for endpoint in "$work"/run/redodori/TRedoDoriWnd.*; do
        perl -MIO::Socket::UNIX -e '
            my $s = IO::Socket::UNIX->new(Type => SOCK_DGRAM(), Peer => $ARGV[0]) or exit 0;
            $s->send(pack("V Q< q<", 2238, 0, $ARGV[1]));' "$endpoint" "$1"
    done
}

wait_for() {
    local _
    for _ in $(seq 1 400); do
        [ -e "$1" ] && return 0
        sleep 0.05
    done
    return 1
}

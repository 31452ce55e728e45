#!/bin/bash
# Test double of MPlayer in slave mode, for the preview tests: logs its
# arguments ("arg ...") and each command ("cmd ...") to $STANDIN_LOG, answers
# the three queries in MPlayer's formats, pauses (any next command resumes),
# seeks, quits, and plays $STANDIN_LENGTH_MS milliseconds (default 10 s) to the
# end-of-file line. With $STANDIN_NOISY each answer comes in two writes,
# behind a status line, a terminal escape and a CRLF, among junk.
trap '' PIPE
exec 3>>"${STANDIN_LOG:-/dev/null}" || exit 2
for argument in "$@"; do echo "arg $argument" >&3; done
length=${STANDIN_LENGTH_MS:-10000}
answer() {  # a write to a recorder that has gone fails: then the player ends
    if [[ -z $STANDIN_NOISY ]]; then
        echo "$1" || exit 0
    else
        local half=$((${#1} / 2))
        printf 'A:   1.0 V:   1.0 A-V:  0.000\r\e[K%s' "${1:0:half}" || exit 0
        sleep 0.005
        printf '%s\r\njunk=1 ANS_LENGTH=99\n' "${1:half}" || exit 0
    fi
}

echo "Playing ${!#}."  # like MPlayer's banner: the preview's queries start on it
tick() {  # moves the position on by the time played since the last tick
    local now=${EPOCHREALTIME//[!0-9]/}
    ((paused)) || micros=$((micros + now - last))
    last=$now
}
micros=0 paused=0 last=${EPOCHREALTIME//[!0-9]/}
while :; do
    tick
    if ((micros >= length * 1000)); then
        printf '\n\nExiting... (End of file)\n'
        exit 0
    fi
    # Waits for a command until the end of the file, or for ever when paused:
    # a timeout only ever leads to the end, so a line it cuts does not matter.
    left=$((length * 1000 - micros))
    printf -v timeout '%d.%06d' $((left / 1000000)) $((left % 1000000))
    ((paused)) && timeout=
    read -r ${timeout:+-t "$timeout"} command
    status=$?
    ((status > 128)) && continue  # the end of the file came first
    ((status == 0)) || exit 0     # the recorder went away
    tick
    echo "cmd $command" >&3
    was=$paused paused=0
    case $command in
        get_time_length) answer "ANS_LENGTH=$((length / 1000)).$((length % 1000 / 100))0" ;;
        get_time_pos) answer "ANS_TIME_POSITION=$((micros / 1000000)).$((micros / 100000 % 10))" ;;
        get_percent_pos) answer "ANS_PERCENT_POSITION=$((micros / 10 / length))" ;;
        pause) paused=$((!was)) ;;
        seek\ *) read -r _ seconds _ <<<"$command" && micros=$((seconds * 1000000)) ;;
        quit) printf '\nExiting... (Quit)\n' && exit 0 ;;
    esac
done

# bash completion for ridaviduvo                            -*- shell-script -*-
#
# The command line has exactly nine shapes:
#   windows [--json] | inspect --rule | scene [--dot] | outputs [--json]
#   layout --output NAME [--set LAYOUT] --json
# so every position has a fixed set of next words. NAME completes from the
# running compositor's output names (`ridaviduvo outputs --json`), asked with
# a two-second limit: nothing is offered when no compositor answers.
# Needs nothing from the bash-completion package.

# Prints the output names of the running compositor, one per line.
_ridaviduvo_output_names()
{
    local tool=$1 json line name decoded i c
    # Without timeout(1) the tool could wait on a compositor that never
    # answers, and completion must never hang.
    type -P timeout >/dev/null || return 0
    type -P "$tool" >/dev/null || tool=ridaviduvo
    json=$(timeout -k 1 2 "$tool" outputs --json 2>/dev/null </dev/null) || return 0
    # Each head is one line that starts with its name member; a name whose
    # JSON string holds an escape other than \" \\ \/ can't be typed as a
    # plain word and is left out.
    local head_re='^  \{"name":"(([^"\\]|\\.)*)"' plain_re='^([^\\]|\\["\\/])*$'
    while IFS= read -r line; do
        [[ $line =~ $head_re ]] || continue
        name=${BASH_REMATCH[1]}
        [[ -n $name && $name =~ $plain_re ]] || continue
        decoded=
        for ((i = 0; i < ${#name}; i++)); do
            c=${name:i:1}
            if [[ $c == \\ ]]; then
                i=$((i + 1))
                c=${name:i:1}
            fi
            decoded+=$c
        done
        printf '%s\n' "$decoded"
    done <<<"$json"
}

_ridaviduvo()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local -a words=("${COMP_WORDS[@]}") candidates=()
    local name quoted
    COMPREPLY=()

    case $COMP_CWORD in
    1)
        candidates=(windows inspect scene outputs layout)
        ;;
    2)
        case ${words[1]} in
        windows | outputs) candidates=(--json) ;;
        inspect) candidates=(--rule) ;;
        scene) candidates=(--dot) ;;
        layout) candidates=(--output) ;;
        esac
        ;;
    3)
        if [[ ${words[1]} == layout && ${words[2]} == --output ]]; then
            while IFS= read -r name; do
                [[ $name == "$cur"* ]] || continue
                printf -v quoted '%q' "$name"
                COMPREPLY+=("$quoted")
            done < <(_ridaviduvo_output_names "${words[0]}")
            return 0
        fi
        ;;
    4)
        [[ ${words[1]} == layout && ${words[2]} == --output ]] && candidates=(--set --json)
        ;;
    6)
        [[ ${words[1]} == layout && ${words[2]} == --output && ${words[4]} == --set ]] && candidates=(--json)
        ;;
    esac
    # Position 5 is LAYOUT, which the compositor does not list, or the end.

    for name in "${candidates[@]}"; do
        [[ $name == "$cur"* ]] && COMPREPLY+=("$name")
    done
    return 0
}

complete -F _ridaviduvo ridaviduvo

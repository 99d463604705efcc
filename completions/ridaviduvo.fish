# fish completion for ridaviduvo.
#
# The command line has exactly nine shapes:
#   windows [--json] | inspect --rule | scene [--dot] | outputs [--json]
#   layout --output NAME [--set LAYOUT] --json
# so every position has a fixed set of next words. NAME completes from the
# running compositor's output names (`ridaviduvo outputs --json`), asked with
# a two-second limit: nothing is offered when no compositor answers.

# True when the words after the command, up to the cursor, are exactly the
# arguments; "*" stands for any word.
function __ridaviduvo_words_are
    set -l words (commandline -opc)[2..-1]
    test (count $words) -eq (count $argv); or return 1
    for i in (seq (count $argv))
        test "$argv[$i]" = '*'; and continue
        test "$words[$i]" = "$argv[$i]"; or return 1
    end
end

# Prints the output names of the running compositor, one per line.
function __ridaviduvo_output_names
    # Without timeout(1) the tool could wait on a compositor that never
    # answers, and completion must never hang.
    command -q timeout; or return
    set -l tool (commandline -opc)[1]
    command -q $tool; or set tool ridaviduvo
    # Each head is one line that starts with its name member; a name whose
    # JSON string holds an escape other than \" \\ \/ is left out.
    timeout -k 1 2 $tool outputs --json 2>/dev/null </dev/null \
        | string replace -rf '^  \{"name":"((?:[^"\\\\]|\\\\.)*)".*$' '$1' \
        | string match -r '^(?:[^\\\\]|\\\\["\\\\/])+$' \
        | string replace -ra '\\\\(.)' '$1'
end

complete -c ridaviduvo -f
complete -c ridaviduvo -n '__ridaviduvo_words_are' -a windows -d 'List the windows'
complete -c ridaviduvo -n '__ridaviduvo_words_are' -a inspect -d 'Print window-rule stubs'
complete -c ridaviduvo -n '__ridaviduvo_words_are' -a scene -d 'Print the scene graph'
complete -c ridaviduvo -n '__ridaviduvo_words_are' -a outputs -d 'List the output heads'
complete -c ridaviduvo -n '__ridaviduvo_words_are' -a layout -d 'Query or change a workspace layout'
complete -c ridaviduvo -n '__ridaviduvo_words_are windows' -a --json -d 'As JSON'
complete -c ridaviduvo -n '__ridaviduvo_words_are inspect' -a --rule -d 'One TOML stub per window'
complete -c ridaviduvo -n '__ridaviduvo_words_are scene' -a --dot -d 'As a Graphviz graph'
complete -c ridaviduvo -n '__ridaviduvo_words_are outputs' -a --json -d 'As JSON'
complete -c ridaviduvo -n '__ridaviduvo_words_are layout' -a --output -d 'Output name follows'
complete -c ridaviduvo -n '__ridaviduvo_words_are layout --output' -a '(__ridaviduvo_output_names)' -d 'Output'
complete -c ridaviduvo -n '__ridaviduvo_words_are layout --output "*"' -a --set -d 'Layout name follows'
complete -c ridaviduvo -n '__ridaviduvo_words_are layout --output "*"' -a --json -d 'Print the answer as JSON'
complete -c ridaviduvo -n '__ridaviduvo_words_are layout --output "*" --set "*"' -a --json -d 'Print the answer as JSON'

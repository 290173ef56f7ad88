# Sourced by the side-by-side scripts: reads their NAME=PROGRAM arguments
# into `names` (in the order given) and `tools` (NAME -> PROGRAM).
declare -A tools
names=()
read_pairs() {
    local pair
    for pair in "$@"; do
        names+=("${pair%%=*}")
        tools[${pair%%=*}]=${pair#*=}
    done
}

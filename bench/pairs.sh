# Sourced by the side-by-side scripts. read_pairs reads their NAME=PROGRAM arguments
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

# sample_volume PROGRAM DIR: a 10.4 sample volume in DIR, its artwork in
# DIR-art, made by the lumora-sample-volume beside PROGRAM.
sample_volume() {
    local made
    made=$(dirname "$1")/lumora-sample-volume
    "$made" artwork "$2-art" >/dev/null
    "$made" volume "$2" "$2-art" 10.4 >/dev/null
}

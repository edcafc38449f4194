# Sourced by the scripts that make benchmark pools: argument checks and a work folder with a
# private LibreOffice profile (a running soffice with the default profile would swallow the
# conversion requests).

# usage_unless MIN MAX USAGE ARGS...: exits with the usage line unless MIN..MAX arguments follow.
usage_unless() {
    min=$1 max=$2 usage=$3
    shift 3
    if [ $# -lt "$min" ] || [ $# -gt "$max" ]; then
        echo "usage: $0 $usage" >&2
        exit 2
    fi
}

whole_number() {
    case $1 in
        ''|*[!0-9]*) echo "$0: COUNT must be a whole number, not '$1'" >&2; exit 2 ;;
    esac
}

# need COMMAND WHAT
need() {
    command -v "$1" >/dev/null || { echo "$0: $1 ($2) is needed" >&2; exit 1; }
}

# Sets $work (removed on exit) and $profile.
start_work() {
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    profile="file://$work/lo-profile"
}

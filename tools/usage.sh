# Sourced right after "set -euo pipefail" by the scripts beside it that take arguments:
#   source "$(dirname "$0")/usage.sh" MIN "$@"
# With -h or --help first, prints the script's leading comment (which says how to use it) to
# stdout and exits 0; with fewer than MIN arguments, prints it to stderr and exits 2, instead of
# running with a missing argument or taking "--help" for a file or folder.
fogbell_usage() { sed -n '2,/^[^#]/{/^#/s/^# \{0,1\}//p}' "$0"; }
if [[ "${2:-}" == -h || "${2:-}" == --help ]]; then
    fogbell_usage
    exit 0
fi
if (($# - 1 < $1)); then
    fogbell_usage >&2
    exit 2
fi

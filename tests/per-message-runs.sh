# Read by the per-message guards after they set $tool and define count NAME
# MESSAGES, which runs the benchmark's host under $tool for MESSAGES messages
# into "$work/NAME". Runs the guard again in a private network, where the
# sink takes 127.0.0.1:25, then counts runs of 1 and $((messages + 1)).
messages=200
if [ "${1-}" != --inside ]; then
    [ $# -eq 3 ] || { echo "usage: $0 SINK HOST LIMIT" >&2; exit 64; }
    command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install $tool)" >&2; exit 1; }
    exec sh "$(dirname "$0")/netns-run.sh" sh "$0" --inside "$@"
fi
sink=$2 host=$3 limit=$4
work=$(mktemp -d)
sink_pid=
trap 'if [ -n "$sink_pid" ]; then kill "$sink_pid"; fi; rm -rf "$work"' EXIT
sink_pid=$("$sink")
count one 1
count many $((messages + 1))

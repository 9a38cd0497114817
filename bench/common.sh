# Sourced by the whole-transfer benchmarks: the programs, a scratch folder removed on exit, a
# virtual printer reader on a fresh pty, and the arithmetic helpers.
cd "$(dirname "$0")/.."
build=${PRAX_BUILD_DIR:-build}
praxdl="$build/cli/praxdl"
printer="$build/tools/virtual-printer/prax-virtual-printer"
[ -x "$praxdl" ] && [ -x "$printer" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# Starts a reader on a new pty with the given options and sets $reader and $device. Its lines
# are bare (no arrival times), so the scripts can match them from the start.
start_reader() {
  "$printer" --no-times "$@" > "$work/reader.log" 2>&1 &
  reader=$!
  for _ in $(seq 200); do [ -s "$work/reader.log" ] && break; sleep 0.02; done
  device=$(head -n 1 "$work/reader.log")
}
now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }

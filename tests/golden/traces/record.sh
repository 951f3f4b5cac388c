#!/bin/sh
# Records the golden field traces again from the simulated bench:
#   tests/golden/traces/record.sh [BUILD_DIR]
# Run it from anywhere; it writes the *.jsonl files next to itself. The
# command lines name the example image relative to the source folder, as the
# replay tests run them from there, and the program is found on PATH, so
# that argv[0] is "dravlopro-sim" and not a folder of this computer. The
# times are set to 0 and the run marks are left out (a file of one run needs
# none, and the replay uses neither): recording again without a change gives
# the same files.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../../.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
sim="$build_dir/dravlopro-sim"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$sim" "$work/bin/dravlopro-sim"
cd "$source_dir"

# record NAME BENCH_LINE COMMAND...
record() {
  name=$1 line=$2
  shift 2
  mkdir -p "$work/$name/bench"
  printf 'dravlopro-sim bench 1\n%s\n' "$line" > "$work/$name/bench/bench.txt"
  status=0
  PATH="$work/bin:$PATH" XDG_CONFIG_HOME="$work/$name" DRAVLOPRO_SIM_DIR="$work/$name/bench" \
    DRAVLOPRO_TRACE="$work/$name.jsonl" dravlopro-sim "$@" > /dev/null || status=$?
  sed -e 's/^{"ms":[0-9]*,"run":"[0-9a-f]*",/{"ms":0,/' -e 's/^{"run":"[0-9a-f]*",/{/' \
    "$work/$name.jsonl" > "$here/$name.jsonl"
  echo "$name: exit status $status, $(wc -l < "$here/$name.jsonl") lines"
}

record blinky 'adapter SIM00001 2.0.0' \
  -a examples/blinky/blinky.hex -v examples/blinky/blinky.hex -r32 0x0 8
record locked 'adapter LOCKED01 2.0.0 locked' -rob
record no-target 'adapter NOTGT01 2.0.0 no-target' -r32 0x0 4
record erase-fails 'adapter ERASE01 2.0.0 erase-fails' -se 0 0

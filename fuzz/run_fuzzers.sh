#!/usr/bin/env bash
# Runs the libFuzzer targets, each for a given time on its corpus, and prints per target the
# executions, the coverage edges (libFuzzer's cov:) and the size of its corpus; with --coverage
# also the line coverage of the library functions that read its input (fuzz/readers.txt).
#
#   fuzz/run_fuzzers.sh [--time SECONDS] [--jobs N] [--fresh] [--coverage] [TARGET...]
#
#   --time SECONDS  how long each target runs (default 60)
#   --jobs N        targets run at once (default 1)
#   --fresh         start each target from its seeds: empty its working corpus first
#   --coverage      afterwards replay each target's corpus on the coverage build and report
#   TARGET...       the targets to run (default: every bin/fuzz_* of the fuzz build)
#
# Needs the fuzz preset built (cmake --preset fuzz && cmake --build --preset fuzz) and, for
# --coverage, the coverage preset too. Each target reads its working corpus
# build/fuzz/fuzz/corpus/<target> (where new inputs go), fuzz/corpus/<target> and the seeds that
# the build made from the shipped data (build/fuzz/fuzz/seeds/<target>), with the dictionary
# fuzz/dict/<target>.dict when there is one. A finding (crash, sanitizer report, leak, timeout,
# memory limit) is saved in build/fuzz/fuzz/findings/<target>/ and makes the script exit 1: once
# the fault is mended, keep the input under fuzz/regressions/<target>/, whose inputs the tests
# replay.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

time_per_target=60
jobs=1
fresh=0
coverage=0
targets=()
while (($#)); do
  case "$1" in
    --time) time_per_target=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --fresh) fresh=1; shift ;;
    --coverage) coverage=1; shift ;;
    -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
    -*) echo "run_fuzzers.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done

fuzz_build=$root/build/fuzz
coverage_build=$root/build/coverage
work=$fuzz_build/fuzz
if ((${#targets[@]} == 0)); then
  for binary in "$fuzz_build"/bin/fuzz_*; do
    [ -x "$binary" ] && targets+=("$(basename "$binary")")
  done
fi
if ((${#targets[@]} == 0)); then
  echo "run_fuzzers.sh: no fuzz targets in $fuzz_build/bin: build the fuzz preset first" >&2
  exit 2
fi
for target in "${targets[@]}"; do
  if [ ! -x "$fuzz_build/bin/$target" ]; then
    echo "run_fuzzers.sh: no target $target in $fuzz_build/bin" >&2
    exit 2
  fi
  if ((coverage)) && [ ! -x "$coverage_build/bin/$target" ]; then
    echo "run_fuzzers.sh: no target $target in $coverage_build/bin: build the coverage preset" >&2
    exit 2
  fi
done

# The corpus directories of a target, the working corpus first.
corpus_dirs() {
  local target=$1
  local dirs=("$work/corpus/$target")
  [ -d "$root/fuzz/corpus/$target" ] && dirs+=("$root/fuzz/corpus/$target")
  [ -d "$work/seeds/$target" ] && dirs+=("$work/seeds/$target")
  echo "${dirs[@]}"
}

run_target() {
  local target=$1
  local log=$work/logs/$target.log
  local findings=$work/findings/$target
  ((fresh)) && rm -rf "$work/corpus/$target"
  mkdir -p "$work/corpus/$target" "$findings" "$work/logs"
  local options=(-max_total_time="$time_per_target" -timeout=25 -rss_limit_mb=2560
                 -print_final_stats=1 -close_fd_mask=1 -artifact_prefix="$findings/")
  [ -f "$root/fuzz/dict/$target.dict" ] && options+=(-dict="$root/fuzz/dict/$target.dict")
  # shellcheck disable=SC2046
  if "$fuzz_build/bin/$target" "${options[@]}" $(corpus_dirs "$target") >"$log" 2>&1; then
    echo ok >"$work/logs/$target.result"
  else
    echo FINDING >"$work/logs/$target.result"
  fi
}

running=0
for target in "${targets[@]}"; do
  echo "fuzzing $target for ${time_per_target}s"
  run_target "$target" &
  running=$((running + 1))
  if ((running >= jobs)); then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

# One summary line per target from its libFuzzer log.
status=0
printf '\n%-24s %12s %8s %8s  %s\n' target executions edges corpus result
for target in "${targets[@]}"; do
  log=$work/logs/$target.log
  result=$(cat "$work/logs/$target.result")
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  edges=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  corpus=$(grep -o 'corp: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  printf '%-24s %12s %8s %8s  %s\n' "$target" "${executions:--}" "${edges:--}" "${corpus:--}" \
    "$result"
  if [ "$result" != ok ]; then
    status=1
    echo "  see $log; the input is in $work/findings/$target/" >&2
    grep -m3 -E 'ERROR|SUMMARY|Test unit written' "$log" | sed 's/^/  /' >&2 || true
  fi
done

if ((coverage)); then
  sources=("$root"/pgm/pgmdev/*.cpp "$root"/pgm/pgmdev/h/*.h "$root"/h/*.h
           "$root"/tools/pgmdev_tool/lib/*.cpp)
  sources=("${sources[@]#"$root"/}")
  for target in "${targets[@]}"; do
    profile_dir=$work/coverage/$target
    rm -rf "$profile_dir"
    mkdir -p "$profile_dir"
    # shellcheck disable=SC2046
    LLVM_PROFILE_FILE="$profile_dir/%p.profraw" "$coverage_build/bin/$target" -runs=0 \
      -close_fd_mask=1 $(corpus_dirs "$target") >"$profile_dir/replay.log" 2>&1
    llvm-profdata-14 merge -sparse "$profile_dir"/*.profraw -o "$profile_dir/merged.profdata"
    llvm-cov-14 report "$coverage_build/bin/$target" -instr-profile="$profile_dir/merged.profdata" \
      -path-equivalence="$coverage_build/../..,$root" -Xdemangler=c++filt -show-functions \
      "${sources[@]}" >"$profile_dir/functions.txt" 2>"$profile_dir/llvm-cov.log"
    echo
    echo "$target: line coverage of the reader functions"
    # Function rows end in nine columns (regions, missed, cover, lines, missed, cover, branches,
    # missed, cover); the name before them may hold blanks.
    awk -v target="$target" -v readers="$root/fuzz/readers.txt" '
      function first_group(text,    start, depth, i, c) {
        start = index(text, "(")
        if (start == 0) return ""
        depth = 0
        for (i = start; i <= length(text); ++i) {
          c = substr(text, i, 1)
          if (c == "(") ++depth
          if (c == ")" && --depth == 0) return substr(text, start + 1, i - start - 1)
        }
        return ""
      }
      BEGIN {
        while ((getline line < readers) > 0) {
          if (line ~ /^[ \t]*(#|$)/) continue
          split(line, part, /[ \t]+/)
          if (part[1] == target) pattern = pattern (pattern == "" ? "" : "|") "(" part[2] ")"
        }
        if (pattern == "") pattern = "^$"
        pattern = "^(" pattern ")$"
      }
      /^File / { file = $2; gsub(/^.*\.\.\/\.\.\//, "", file); gsub(/[\047:]/, "", file); next }
      NF < 10 || $1 == "Name" || $1 == "TOTAL" || /^-+$/ { next }
      {
        name = $0
        for (i = 0; i < 9; ++i) sub(/[ \t]+[^ \t]+[ \t]*$/, "", name)
        gsub(/\(anonymous namespace\)::/, "", name)
        gsub(/\[abi:cxx11\]/, "", name)
        sub(/^[^:<(]*\.(cpp|h):/, "", name)
        params = first_group(name)
        while (gsub(/\([^()]*\)/, "", name)) {}
        sub(/ const$/, "", name)
        sub(/^[A-Za-z_][A-Za-z_0-9]* /, "", name)  # a template function shows its return type
        signature = name "(" params ")"
        if (!(name ~ pattern || signature ~ pattern) || seen[file SUBSEP signature]++) next
        # Constructors are told apart by their parameters.
        shown = name
        parts = split(name, component, "::")
        if (parts >= 2 && component[parts] == component[parts - 1]) shown = signature
        lines = $(NF - 5); missed = $(NF - 4)
        covered = lines - missed
        percent = lines > 0 ? 100 * covered / lines : 100
        flag = percent < 80 ? "  below 80%" : ""
        printf "  %-44s %-52s %6.1f%% (%d/%d)%s\n", file, shown, percent, covered, lines, flag
        total += lines; total_missed += missed
      }
      END {
        if (total > 0) {
          printf "  %-97s %6.1f%% (%d/%d)\n", "all of them", 100 * (total - total_missed) / total,
                 total - total_missed, total
        } else {
          print "  (no reader functions listed for this target in fuzz/readers.txt)"
        }
      }' "$profile_dir/functions.txt"
  done
fi
exit $status

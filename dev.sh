#!/usr/bin/env bash
# Developer entry point.
#   ./dev.sh demo [NAME]    build, then resolve a part name with pgmdev-tool
#   ./dev.sh test [PRESET]  build and run the whole test suite (default preset: default)
#   ./dev.sh bench          build the default preset, run every benchmark, print one table
#   ./dev.sh fuzz [SECONDS] [OPTION...]  build the fuzz targets and run each for SECONDS (60)
#                           on its corpus (fuzz/run_fuzzers.sh: --jobs N, --fresh, --coverage)
#   ./dev.sh deps           install the build dependencies that are missing (Debian)
set -euo pipefail
cd "$(dirname "$0")"

deps() {
  # Build and test tools, the library's runtime dependencies (zlib, libdeflate, libcrypto), the
  # tool's header-only libraries (CLI11, nlohmann/json), help2man for its man page, llvm-14 for
  # coverage reports, valgrind for the memcheck run, the gumbo HTML parser and Chromium for the
  # tests of the supported-devices page.
  local wanted=(cmake ninja-build g++ clang-14 libclang-rt-14-dev llvm-14 zlib1g-dev libdeflate-dev
                libssl-dev libgtest-dev libgmock-dev libbenchmark-dev pkg-config binutils
                libcli11-dev nlohmann-json3-dev help2man valgrind libgumbo-dev chromium)
  local missing=()
  for package in "${wanted[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  fi
}

build() {
  local preset=$1
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
}

# Runs every benchmark of the default build (their own output goes to build/default/bench.log) and
# prints the rows they end with as one table: operation, our median, the floor's median measured in
# the same run, the ratio, the target and whether it is met.
bench() {
  build default
  local log=build/default/bench.log
  : >"$log"
  echo "load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
  local program
  for program in build/default/bin/bench_*; do
    echo "== $program" >>"$log"
    "$program" >>"$log" 2>&1 || { echo "$program failed; see $log" >&2; return 1; }
  done
  echo "load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
  grep '^BENCH_ROW|' "$log" | awk -F'|' '
    BEGIN { printf "%-68s %12s %12s %8s %9s  %s\n", "operation", "ours", "floor", "ratio",
                   "target", "verdict" }
    { printf "%-68s %12s %12s %8s %9s  %s\n", $2, $3, $4, $5, $6, $7 }'
}

case "${1:-}" in
  deps) deps ;;
  demo)
    deps
    build default
    ./build/default/bin/pgmdev-tool name "${2:-QZ40BF256C6N}"
    ;;
  bench)
    deps
    bench
    ;;
  test)
    preset=${2:-default}
    deps
    build "$preset"
    ctest --preset "$preset"
    ;;
  fuzz)
    seconds=${2:-60}
    shift $(($# < 2 ? $# : 2))
    deps
    build fuzz
    for option in "$@"; do
      [ "$option" = --coverage ] && build coverage
    done
    fuzz/run_fuzzers.sh --time "$seconds" "$@"
    ;;
  *)
    sed -n '2,9p' "$0"
    exit 2
    ;;
esac

#!/usr/bin/env bash
# Developer entry point.
#   ./dev.sh demo [NAME]    build, then resolve a part name with pgmdev-tool
#   ./dev.sh test [PRESET]  build and run the whole test suite (default preset: default)
#   ./dev.sh deps           install the build dependencies that are missing (Debian)
set -euo pipefail
cd "$(dirname "$0")"

deps() {
  # Build and test tools, the library's runtime dependencies (zlib, libcrypto), the tool's
  # header-only libraries (CLI11, nlohmann/json), help2man for its man page, llvm-14 for
  # coverage reports, valgrind for the memcheck run, the gumbo HTML parser and Chromium for
  # the tests of the supported-devices page.
  local wanted=(cmake ninja-build g++ clang-14 libclang-rt-14-dev llvm-14 zlib1g-dev libssl-dev
                libgtest-dev libgmock-dev libbenchmark-dev pkg-config binutils
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

case "${1:-}" in
  deps) deps ;;
  demo)
    deps
    build default
    ./build/default/bin/pgmdev-tool name "${2:-QZ40BF256C6N}"
    ;;
  test)
    preset=${2:-default}
    deps
    build "$preset"
    ctest --preset "$preset"
    ;;
  *)
    sed -n '2,6p' "$0"
    exit 2
    ;;
esac

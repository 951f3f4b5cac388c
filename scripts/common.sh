# Shared by the scripts: installs what is missing and builds the tool.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
# libunicorn-dev lets the simulated core execute code; gdb-multiarch drives the
# debugger server in the tests; binutils-arm-none-eabi assembles the flash
# routine to check its code table; strace stops a run at a chosen moment in
# the tests.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config googletest libgtest-dev libhidapi-dev libunicorn-dev gdb-multiarch binutils-arm-none-eabi strace)
# The Windows build and Wine, which runs it.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages given that are not installed yet.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
  fi
}

# Configures the build with the given cmake options and builds the targets
# named in BUILD_TARGETS (everything when empty).
build_tool() {
  cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@"
  local targets=()
  local t
  for t in ${BUILD_TARGETS:-}; do targets+=(--target "$t"); done
  cmake --build "$BUILD_DIR" -j"$(nproc)" "${targets[@]}"
}

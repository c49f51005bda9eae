#!/usr/bin/env bash
# Installs what the build needs on a fresh Debian machine. Safe to run again: it only
# installs what is missing.
#   tools/install-deps.sh        everything the builds and the test suites need
#   tools/install-deps.sh demo   only what ./dev demo needs (no Wine, no MinGW, no test libraries)
set -euo pipefail
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

demo_packages=(cmake ninja-build g++ default-jdk-headless)
if [ "${1:-}" = demo ]; then
  packages=("${demo_packages[@]}")
else
  # 32-bit Wine needs the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    FORCE_UPDATE=1
  fi
  packages=("${demo_packages[@]}" libgtest-dev libgmock-dev libbenchmark-dev clang-format
            g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 socat python3)
fi
for p in "${packages[@]}"; do
  have "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ] || [ -n "${FORCE_UPDATE:-}" ]; then
  $SUDO apt-get update -qq
  [ ${#need[@]} -gt 0 ] && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
exit 0

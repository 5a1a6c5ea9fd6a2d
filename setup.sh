#!/bin/bash
# One-step set-up on a fresh Debian 12 machine (as root):
#   bash setup.sh run    install what the build needs, build, start the program
#   bash setup.sh test   install what the build needs, build, run every test
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  qtbase5-dev qtbase5-dev-tools libqt5webkit5-dev libqt5svg5
  libpoppler-qt5-dev libpoppler-private-dev libqpdf-dev qpdf poppler-utils
  libmupdf-dev libmujs-dev libgumbo-dev libopenjp2-7-dev libjbig2dec0-dev libpng-dev libjpeg-dev
  libharfbuzz-dev libfreetype-dev libfribidi-dev libfontconfig-dev
  fonts-dejavu-core fonts-dejavu-extra fonts-wqy-microhei python3-fonttools
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-xlrd python3-xlwt python3-olefile python3-pil python3-numpy xvfb xauth
  libreoffice-calc-nogui
)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

jobs=$(nproc)

build_app() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build -j "$jobs"
}

case "${1:-}" in
  run)
    install_packages
    build_app
    exec ./build/bin/gridmolt
    ;;
  test)
    install_packages
    build_app
    (cd build && ctest --output-on-failure -j "$jobs")
    # The engine and what the programs share (tools/common) once more, under
    # AddressSanitizer and UndefinedBehaviorSanitizer, with every fuzz target
    # (clang's libFuzzer), the programs' own readers included.
    CC=clang CXX=clang++ cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DGRIDMOLT_APP=OFF -DGRIDMOLT_BENCH=OFF -DGRIDMOLT_SANITIZE=ON -DGRIDMOLT_FUZZ=ON
    cmake --build build-sanitize -j "$jobs"
    (cd build-sanitize && ctest --output-on-failure -j "$jobs")
    # The replacement window's batch endings (closed at any moment, programs
    # ended) and the engine under small memory shares once more under the same
    # sanitizers, with the programs they run.
    # Qt's own allocations are not ours to free: no leak report.
    cmake -S . -B build-sanitize-window -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGRIDMOLT_BENCH=OFF \
      "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
      "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"
    cmake --build build-sanitize-window -j "$jobs" --target processend_test replacetoolrun_test ostrelmemory_test pavlin dorcet ostrel
    (cd build-sanitize-window && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -R '^(processend|replacetoolrun|ostrelmemory)_test$')
    ;;
  *)
    echo "usage: bash setup.sh run|test" >&2
    exit 2
    ;;
esac

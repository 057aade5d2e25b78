#!/usr/bin/env bash
# Sets up a Debian 12 machine for Scrivane, builds it, and runs the editor or
# every test.
#
#   tools/dev.sh run    install what is missing, build, start the editor
#   tools/dev.sh test   install what is missing, build, run every test
#   tools/dev.sh install  (optional) build and install the editor for this
#                         user: ~/.local/lib/scrivane, a link in ~/.local/bin,
#                         the desktop menu entry and the .tpf file type
#
# SCRIVANE_ANSWER_TYPE=0 tools/dev.sh run starts in single-answer mode.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"

packages=(
  build-essential cmake pkg-config
  qt6-base-dev libgsf-1-dev zlib1g-dev libxlsxwriter-dev
  libgtest-dev libbenchmark-dev
  python3 python3-xlrd python3-openpyxl
  clang libclang-rt-14-dev
  fp-utils-3.2.2
  fonts-dejavu-core fonts-liberation xdg-utils
  fonts-wqy-microhei poppler-utils
  libqt6svg6 qt6-svg-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-calib3d-dev libzxing-dev libpoppler-qt6-dev qt6-image-formats-plugins
)

install_missing() {  # [extra packages...]
  local missing=()
  for p in "${packages[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {  # build DIR [cmake options...]
  local dir="$1"; shift
  cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSCRIVANE_ANSWER_TYPE="${SCRIVANE_ANSWER_TYPE:-3}" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

case "${1:-}" in
  run)
    # HELP opens quillary.chm with the desktop's viewer for it.
    install_missing xchm
    build "$here/build" -DSCRIVANE_BENCH=OFF
    exec "$here/build/bin/scrivane"
    ;;
  install)
    # The desktop entry and the .tpf type register with the desktop's caches.
    install_missing xchm desktop-file-utils shared-mime-info
    build "$here/build" -DSCRIVANE_BENCH=OFF
    cmake --install "$here/build" --prefix "$HOME/.local"
    # A double-click on a paper opens it in Scrivane.
    xdg-mime default scrivane.desktop application/x-scrivane-paper 2>/dev/null || true
    echo "Scrivane is installed: $HOME/.local/bin/scrivane and the desktop menu."
    ;;
  test)
    install_missing
    # The tests run under AddressSanitizer and UndefinedBehaviorSanitizer.
    build "$here/build-test" -DSCRIVANE_SANITIZE=ON -DSCRIVANE_BENCH=ON
    # The workbook readers are fuzzed for a bounded time.
    "$here/tools/fuzz.sh" 60
    export QT_QPA_PLATFORM=offscreen
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    cd "$here/build-test" && ctest --output-on-failure -j "$jobs"
    ;;
  *)
    sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac

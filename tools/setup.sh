# Sourced by run.sh and test.sh: installs what the build needs (only when
# missing), then configures and builds into the folder given as $1 with the
# CMake options that follow.
set -euo pipefail

QLON_PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-translations-l10n  # the framework's own dialogs and buttons in French
  libgtest-dev libgmock-dev googletest
  clang libclang-rt-14-dev
  fonts-dejavu-core  # the fonts the tests measure (platform/testsupport/fonts.conf.in)
  fonts-liberation  # a desktop's fonts beside them: the tests must not see them
  # real pages for the viewer tests and benchmark
  lua5.2-doc
  libxslt1-dev  # its HTML manual
  python3.11-doc
  postgresql-doc-15  # a real manual: the capture benchmark, and synopses full of markup
  imagemagick
  poppler-utils
  wget  # the capture benchmark compares with it
  python3-pyftpdlib  # a real FTP server for the capture tests
  nginx apache2  # real HTTP servers for the update tests
  vsftpd  # a real FTP server that caps the sessions of a client
  xvfb  # a screen of their own for the tests that run the program on one
  strace  # a slow disk for a capture killed while it makes files ahead
)

qlon_install_packages() {
  local missing=()
  for p in "${QLON_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

qlon_build() {
  local dir=$1; shift
  cmake -S "$QLON_TOP" -B "$QLON_TOP/$dir" -G Ninja "$@" >/dev/null
  cmake --build "$QLON_TOP/$dir" --parallel "$(nproc)"
}

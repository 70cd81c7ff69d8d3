# Shared by scripts/run, scripts/test and the other scripts: installs the
# Debian packages the build needs (only those missing) and configures and
# builds the project. Source it; do not run it.

QUILLON_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QUILLON_PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcfitsio-dev zlib1g-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool poppler-utils imagemagick fonts-dejavu-core fonts-liberation2
  appstream python3
)

quillon_install_packages() {
  local missing=() pkg
  for pkg in "${QUILLON_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# quillon_build BUILD_DIR [cmake options...]
quillon_build() {
  local dir=$1; shift
  cmake -S "$QUILLON_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" --parallel "$(nproc)"
}

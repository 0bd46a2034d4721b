# Installs the Debian packages the project needs when they are missing.
# Sourced by run.sh and test.sh.

# Building the editor and its tests.
HWT_BUILD_PACKAGES=(cmake make g++ pkg-config qtbase5-dev libqt5svg5-dev libgrantlee5-dev libqt5webkit5-dev libbox2d-dev libchipmunk-dev libbenchmark-dev libopencv-dev libcgal-dev dpkg-dev)
# Running the editor on a virtual display (screenshots, the headless demo).
HWT_DISPLAY_PACKAGES=(xvfb xauth imagemagick)

hwt_missing_packages() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || printf '%s\n' "$pkg"
  done
}

hwt_ensure_packages() {
  local missing
  mapfile -t missing < <(hwt_missing_packages "$@")
  [ "${#missing[@]}" -eq 0 ] && return 0
  echo "Installing missing Debian packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
      sudo=(sudo)
    else
      echo "error: not root and no sudo; please install: ${missing[*]}" >&2
      return 1
    fi
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
